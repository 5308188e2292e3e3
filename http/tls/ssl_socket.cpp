// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "http/tls/ssl_socket.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>

#include <cerrno>

#include "http/socket/connection_exceptions.h"
#include "http/socket/socket_error.h"
#include "http/socket/socket_stack.h"
#include "http/tls/ssl_exceptions.h"

namespace pixhaul {

namespace {

// OpenSSL writes to the socket with write(), which raises SIGPIPE when the peer has gone. This
// blocks SIGPIPE on the calling thread for the duration of one library call and swallows the
// signal if the call raised it, so the failure comes back as EPIPE instead of ending the
// process. The thread's signal mask and any SIGPIPE that was already pending are left as found.
class SigpipeGuard {
 public:
  SigpipeGuard() {
    sigemptyset(&pipeSet_);
    sigaddset(&pipeSet_, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSet_, &oldMask_);
    sigset_t pending;
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
  }
  ~SigpipeGuard() {
    int savedErrno = errno;
    if (!wasPending_) {
      sigset_t pending;
      sigpending(&pending);
      if (sigismember(&pending, SIGPIPE) == 1) {
        timespec zero{0, 0};
        while (sigtimedwait(&pipeSet_, nullptr, &zero) < 0 && errno == EINTR) {
        }
      }
    }
    pthread_sigmask(SIG_SETMASK, &oldMask_, nullptr);
    errno = savedErrno;
  }
  SigpipeGuard(const SigpipeGuard&) = delete;
  SigpipeGuard& operator=(const SigpipeGuard&) = delete;

 private:
  sigset_t pipeSet_;
  sigset_t oldMask_;
  bool wasPending_ = false;
};

// The channel whose library call is running on this thread, for the status callback.
thread_local TIdSSLSocket* tCallingChannel = nullptr;

class CallingChannel {
 public:
  explicit CallingChannel(TIdSSLSocket* channel) : previous_(tCallingChannel) {
    tCallingChannel = channel;
  }
  ~CallingChannel() { tCallingChannel = previous_; }
  CallingChannel(const CallingChannel&) = delete;
  CallingChannel& operator=(const CallingChannel&) = delete;

 private:
  TIdSSLSocket* previous_;
};

}  // namespace

TIdSSLSocket::~TIdSSLSocket() { Free(); }

void TIdSSLSocket::Connect(int fd, TIdSSLContext& context, const std::string& serverName,
                           const std::string& peerHost, TIdReadRateGuard& guard) {
  Free();
  functions_ = &context.Functions();
  const SslFunctions& f = *functions_;
  fd_ = fd;
  guard_ = &guard;
  wireBytesCounted_ = 0;
  if (context.Handle() == nullptr) throw EIdOSSLConnectError();
  ssl_ = f.SSL_new(context.Handle());
  // Without a channel every later read and write would have nothing to work on; the nearest
  // honest report is a failed handshake.
  if (ssl_ == nullptr) throw EIdOSSLConnectError();
  // The channel carries this object as its application data, as callers of the library expect.
  if (f.SSL_set_ex_data(ssl_, 0, this) < 1) throw EIdOSSLDataBindingError();
  if (OnStatusInfo) f.SSL_set_info_callback(ssl_, &InfoCallback);
  // The library must hand control back whenever the socket has nothing for it, or a peer that
  // trickles a record one byte at a time would hold it inside a single call for ever.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) throw EIdOSSLConnectError();
  if (f.SSL_set_fd(ssl_, fd) < 1) throw EIdOSSLConnectError();
  // Read ahead into a buffer of several records, so one read of the socket fetches what a
  // fast sender has queued instead of one record header and one record body at a time.
  f.SSL_ctrl(ssl_, SSL_CTRL_SET_READ_AHEAD, 1, nullptr);
  f.SSL_set_default_read_buffer_len(ssl_, kReadBufferBytes);
  // A name with a NUL would be cut short by the library: it is never sent nor checked.
  const bool wholeName = peerHost.find('\0') == std::string::npos;
  if (!serverName.empty() && serverName.find('\0') == std::string::npos) {
    // A name the library refuses (too long for the extension) simply goes unsent.
    f.SSL_ctrl(ssl_, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
               const_cast<char*>(serverName.c_str()));
  }
  if (context.VerifyServer) {
    // The chain alone proves nothing about whom it was issued to: the certificate must name
    // the host this connection reaches. A host the library cannot take fails the check.
    const std::string address = TIdStack::UnbracketedHost(peerHost);
    const bool taken =
        wholeName &&
        (TIdStack::IsDottedQuad(peerHost) || TIdStack::IsIPv6Literal(peerHost)
             ? f.X509_VERIFY_PARAM_set1_ip_asc(f.SSL_get0_param(ssl_), address.c_str()) == 1
             : f.SSL_set1_host(ssl_, peerHost.c_str()) == 1);
    if (!taken) {
      throw EIdOSSLCertificateVerifyError(CertificateVerifyFailedMessage(
          f.X509_verify_cert_error_string(X509_V_ERR_HOSTNAME_MISMATCH)));
    }
  }
  for (;;) {
    int savedErrno;
    const int result = CallLibrary([&] { return f.SSL_connect(ssl_); }, savedErrno);
    if (result == 1) break;
    const int reason = f.SSL_get_error(ssl_, result);
    f.ERR_clear_error();
    if (reason == SSL_ERROR_WANT_READ) {
      if (WaitForSocket(reason, true)) continue;
      throw EIdReadTimeout();
    }
    if (reason == SSL_ERROR_WANT_WRITE && WaitForSocket(reason, true)) continue;
    if (context.VerifyServer) {
      const long verified = f.SSL_get_verify_result(ssl_);
      if (verified != X509_V_OK) {
        const char* why = f.X509_verify_cert_error_string(verified);
        throw EIdOSSLCertificateVerifyError(CertificateVerifyFailedMessage(why ? why : ""));
      }
    }
    throw EIdOSSLConnectError();
  }
}

int TIdSSLSocket::Receive(char* bytes, int capacity) {
  if (deferredFailure_) {
    // The failure a read met after it had already taken bytes, reported now as it would have
    // been then.
    const int error = *deferredFailure_;
    deferredFailure_.reset();
    if (error == 0) return 0;
    TIdStack::SetLastError(error);
    return -1;
  }
  int failedReason = 0;  // a failure met behind bytes already taken
  int failedErrno = 0;
  const int result = Transfer(
      [&] {
        const SslFunctions& f = *functions_;
        failedReason = 0;
        int total = f.SSL_read(ssl_, bytes, capacity);
        // More records were read ahead: take every complete one that fits in the same call.
        // The socket does not block, so a record whose end has not arrived ends the batch.
        while (total > 0 && total < capacity && f.SSL_has_pending(ssl_) == 1) {
          f.ERR_clear_error();
          errno = 0;
          const int n = f.SSL_read(ssl_, bytes + total, capacity - total);
          if (n > 0) {
            total += n;
            continue;
          }
          const int reason = f.SSL_get_error(ssl_, n);
          if (reason != SSL_ERROR_WANT_READ && reason != SSL_ERROR_WANT_WRITE) {
            failedReason = reason;
            failedErrno = errno;
          }
          f.ERR_clear_error();
          break;
        }
        return total;
      },
      true);
  if (result > 0 && failedReason != 0) {
    deferredFailure_ = Classify(failedReason, failedErrno) == 0 ? 0 : TIdStack::LastError();
  }
  return result;
}

int TIdSSLSocket::Send(const char* bytes, int count) {
  return Transfer([&] { return functions_->SSL_write(ssl_, bytes, count); }, false);
}

template <class Call>
int TIdSSLSocket::CallLibrary(Call call, int& savedErrno) {
  functions_->ERR_clear_error();
  int result;
  {
    SigpipeGuard guard;
    CallingChannel calling(this);
    errno = 0;
    result = call();
    savedErrno = errno;
  }
  CountArrivals();
  return result;
}

template <class Call>
int TIdSSLSocket::Transfer(Call call, bool reading) {
  if (ssl_ == nullptr) {
    TIdStack::SetLastError(kWsaENotConn);
    return -1;
  }
  for (;;) {
    int savedErrno;
    const int result = CallLibrary(call, savedErrno);
    if (result > 0) return result;
    const int reason = functions_->SSL_get_error(ssl_, result);
    if (reason != SSL_ERROR_WANT_READ && reason != SSL_ERROR_WANT_WRITE) {
      return Classify(reason, savedErrno);
    }
    functions_->ERR_clear_error();
    // A write is repeated with the same bytes, as the library requires.
    if (WaitForSocket(reason, reading)) continue;
    // The peer stalled or trickles in the middle of a record, or does not take what is written.
    TIdStack::SetLastError(kWsaETimedOut);
    return -1;
  }
}

bool TIdSSLSocket::WaitForSocket(int reason, bool reading) {
  const bool forRead = reason == SSL_ERROR_WANT_READ;
  const int readLimit = guard_->ReadTimeoutMs();
  const int limitMs = forRead && reading ? guard_->WaitLimitMs()
                      : readLimit > 0    ? readLimit
                                         : TIdReadRateGuard::kNoLimit;
  pollfd p{fd_, static_cast<short>(forRead ? POLLIN : POLLOUT), 0};
  int ready;
  do {
    ready = ::poll(&p, 1, limitMs < 0 ? -1 : limitMs);
  } while (ready < 0 && errno == EINTR);
  // A closed or failed socket counts as ready: the library's next call reports it.
  return ready > 0;
}

void TIdSSLSocket::CountArrivals() {
  const uint64_t wireBytes = functions_->BIO_number_read(functions_->SSL_get_rbio(ssl_));
  if (wireBytes > wireBytesCounted_ && guard_ != nullptr) {
    guard_->Count(wireBytes - wireBytesCounted_);
  }
  wireBytesCounted_ = wireBytes;
}

int TIdSSLSocket::Classify(int reason, int savedErrno) {
  functions_->ERR_clear_error();
  switch (reason) {
    case SSL_ERROR_ZERO_RETURN:
      return 0;
    case SSL_ERROR_SYSCALL:
      // errno 0 is the stream's end without close_notify, which reads as an orderly close.
      if (savedErrno == 0) return 0;
      TIdStack::SetLastError(ErrnoToSocketError(savedErrno));
      return -1;
    default:
      // The library's own failure has no errno; whatever the thread recorded last would be
      // unrelated, so name the abort explicitly.
      TIdStack::SetLastError(kTlsFailureError);
      return -1;
  }
}

void TIdSSLSocket::InfoCallback(const SSL* ssl, int /*where*/, int /*ret*/) {
  // Called from inside the library: nothing may propagate out of here.
  try {
    // The library calls back synchronously, inside a call this thread made on the channel.
    TIdSSLSocket* self = tCallingChannel;
    if (self == nullptr || self->ssl_ != ssl || !self->OnStatusInfo) return;
    const char* state = self->functions_->SSL_state_string_long(ssl);
    self->OnStatusInfo(std::string("SSL status: \"") + (state ? state : "") + "\"");
  } catch (...) {
  }
}

int TIdSSLSocket::Pending() const {
  if (ssl_ == nullptr) return 0;
  if (deferredFailure_) return 1;
  const int decrypted = functions_->SSL_pending(ssl_);
  // Records read ahead but not yet decrypted are held too; their size is not known.
  return decrypted > 0 ? decrypted : functions_->SSL_has_pending(ssl_);
}

void TIdSSLSocket::Free() {
  if (ssl_ == nullptr) return;
  // Mark both close_notify alerts as done so SSL_shutdown neither sends nor waits for one: the
  // socket is normally closed already, and its descriptor number may by now belong to another
  // thread's new socket, so the channel must not touch it again.
  functions_->SSL_set_shutdown(ssl_, SSL_SENT_SHUTDOWN | SSL_RECEIVED_SHUTDOWN);
  {
    SigpipeGuard guard;
    CallingChannel calling(this);
    functions_->SSL_shutdown(ssl_);
  }
  functions_->SSL_free(ssl_);
  functions_->ERR_clear_error();
  ssl_ = nullptr;
  fd_ = -1;
  deferredFailure_.reset();
}

}  // namespace pixhaul
