// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TIdSSLSocket: one TLS channel (an OpenSSL SSL object) over a connected socket.
//
// The channel does not own the socket's descriptor, only its SSL object, which `Free` (and the
// destructor) ends and releases. It is made, used and destroyed on one thread, the thread of the
// connection it belongs to. Reads and writes follow the socket-result convention: a positive
// count, 0 when the peer closed, -1 for a failure whose socket error number is left in the
// thread's last error (TIdStack::LastError). No call lets SIGPIPE reach the process.
//
// Connect switches the socket to non-blocking mode: the channel waits for the socket itself,
// between the library's calls, so that every wait is bounded by the connection's read guard
// (TIdReadRateGuard) and every byte the library takes off the wire is counted into it. A read
// whose guard runs out (a peer silent, or trickling, in the middle of a record) fails with
// 10060; so does a write that cannot go on for the guard's read time limit.
//
// Tests: tests/http/tls/openssl_intercept_test.cpp and tests/http/http_client_tls_test.cpp.
#pragma once

#include <openssl/ssl.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "http/socket/read_rate_guard.h"
#include "http/tls/ssl_context.h"

namespace pixhaul {

class TIdConnectionIntercept;

class TIdSSLSocket {
 public:
  // A failure reported by the library itself (bad record, alert from the peer) carries this
  // socket error number: the connection was aborted by the TLS layer.
  static constexpr int kTlsFailureError = 10053;
  // The channel's receive buffer: room for about four full records read ahead.
  static constexpr size_t kReadBufferBytes = 64 * 1024;

  // `owner` is the intercept the channel belongs to (it may be null).
  explicit TIdSSLSocket(TIdConnectionIntercept* owner) : owner_(owner) {}
  ~TIdSSLSocket();
  TIdSSLSocket(const TIdSSLSocket&) = delete;
  TIdSSLSocket& operator=(const TIdSSLSocket&) = delete;

  // Opens the channel on the connected socket `fd` with `context` (prepared for client mode),
  // names `serverName` to the server (SNI) unless it is empty, and runs the client handshake
  // within the limits of `guard`, whose span the caller has started. When the context verifies
  // the server (TIdSSLContext::VerifyServer), its certificate must also name `peerHost` (a host
  // name, or a dotted address matched against the certificate's addresses); otherwise the
  // certificate is not verified. Raises EIdReadTimeout "Read timed out." when the server goes
  // silent or trickles during the handshake, EIdOSSLCertificateVerifyError "Certificate verify
  // failed: <reason>." when verification fails, EIdOSSLConnectError "Error connecting with
  // SSL." when no channel can be made or the handshake fails otherwise,
  // EIdOSSLDataBindingError when the channel refuses its application data. `context` and
  // `guard` must outlive the channel.
  void Connect(int fd, TIdSSLContext& context, const std::string& serverName,
               const std::string& peerHost, TIdReadRateGuard& guard);

  // Up to `capacity` decrypted bytes; 0 when the peer closed (close_notify or end of stream).
  // After the first record it goes on with the records already read ahead, as far as they are
  // complete and room is left; a failure met there is reported by the next call.
  int Receive(char* bytes, int capacity);
  // Writes all `count` bytes (one record or more); returns count, or -1.
  int Send(const char* bytes, int count);
  // Bytes already held inside the channel, readable without waiting for the socket: the
  // decrypted bytes left of the current record, or 1 when only records read ahead and not yet
  // decrypted (or a failure to report) are held.
  int Pending() const;
  bool IsOpen() const { return ssl_ != nullptr; }

  // Ends the channel without sending close_notify (the socket is usually closed already) and
  // releases it. Safe to call more than once.
  void Free();

  TIdConnectionIntercept* Owner() const { return owner_; }

  // When assigned before Connect, told of every state change of the channel as
  // "SSL status: \"<state>\"" (on the channel's thread, during the calls that change it).
  std::function<void(const std::string& message)> OnStatusInfo;

  SSL* Handle() const { return ssl_; }

 private:
  // Classifies the library's `reason` for a failed SSL_read/SSL_write (other than wanting the
  // socket): 0 for the peer's close, else -1 with the thread's last socket error set.
  int Classify(int reason, int savedErrno);
  // One library call with the error queue cleared, SIGPIPE held off and this channel named to
  // the info callback; the bytes it took off the wire are counted. Returns the call's result;
  // `savedErrno` receives errno as the call left it.
  template <class Call>
  int CallLibrary(Call call, int& savedErrno);
  // SSL_read or SSL_write repeated until it moves bytes or fails, waiting for the socket in
  // between; a result of 0 or less is classified.
  template <class Call>
  int Transfer(Call call, bool reading);
  // Waits until the socket is ready for what the library asked (`reason`, SSL_ERROR_WANT_READ
  // or SSL_ERROR_WANT_WRITE): a read as long as the guard allows, anything else up to its read
  // time limit. False when the time ran out.
  bool WaitForSocket(int reason, bool reading);
  // Counts the bytes the library has read from the socket since the last count into the guard.
  void CountArrivals();

  // Reports a state change to OnStatusInfo; installed only when that is assigned.
  static void InfoCallback(const SSL* ssl, int where, int ret);

  TIdConnectionIntercept* owner_;
  const SslFunctions* functions_ = nullptr;
  SSL* ssl_ = nullptr;
  int fd_ = -1;
  TIdReadRateGuard* guard_ = nullptr;
  uint64_t wireBytesCounted_ = 0;
  // A failure met after a read had taken bytes: 0 for the peer's close, else the socket error.
  std::optional<int> deferredFailure_;
};

}  // namespace pixhaul
