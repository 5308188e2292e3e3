// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TIdConnectionInterceptOpenSSL: the client-side TLS intercept over OpenSSL.
//
// A download worker creates one per download, sets SSLOptions().Method and hands it to its
// client as the Intercept, enabled only for "https" addresses. Creating, configuring and
// assigning it touch no TLS library: OpenSSL is opened by the first AttachToSocket of the
// process (through SslLibrary). While attached, the intercept owns one TIdSSLContext and one
// TIdSSLSocket; DetachFromSocket and the destructor free both. The intercept, its context and
// its channel are used on the thread of the connection they serve.
//
// The handshake names the peer's host (PeerHostName(), set by the client before attaching) to
// the server when it is a name rather than a dotted address. The server's certificate is not
// verified unless SSLOptions().VerifyServer asks for it: it must then verify against the
// trusted roots and name that host, or the attach fails with EIdOSSLCertificateVerifyError.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "http/tls/secure_intercept.h"
#include "http/tls/ssl_context.h"
#include "http/tls/ssl_library.h"
#include "http/tls/ssl_options.h"
#include "http/tls/ssl_socket.h"

namespace pixhaul {

class TIdConnectionInterceptOpenSSL : public TIdSSLConnectionIntercept {
 public:
  // An intercept over the process-wide library (SslLibrary::Shared()).
  TIdConnectionInterceptOpenSSL();
  // An intercept over `library`, which must outlive it (tests use their own instances).
  explicit TIdConnectionInterceptOpenSSL(SslLibrary& library);
  ~TIdConnectionInterceptOpenSSL() override;

  TIdSSLOptions& SSLOptions() { return sslOptions_; }
  const TIdSSLOptions& SSLOptions() const { return sslOptions_; }
  // The context and channel of the current attachment; null while detached. A failed attach
  // leaves what it made in place until DetachFromSocket or destruction.
  TIdSSLContext* Context() const { return context_.get(); }
  TIdSSLSocket* Channel() const { return channel_.get(); }
  // Always false: this intercept owns its context (no server-side factory shares one).
  bool ServerMade() const { return false; }

  // Asked for the password of SSLOptions().KeyFile; the download system assigns none.
  std::function<void(std::string& password)> OnGetPassword;
  // Told of every state change of the channel as "SSL status: \"<state>\"", on the
  // connection's thread; the download system assigns none.
  std::function<void(const std::string& message)> OnStatusInfo;

  // Base behaviour (remember the socket, OnConnect), then a context prepared for client mode
  // and a channel with a completed handshake, run within the limits of ReadGuard(). Raises
  // EIdOSSLCouldNotLoadSSLLibrary, EIdOSSLGetMethodError, EIdOSSLCreatingContextError,
  // EIdOSSLSettingCipherError, EIdOSSLLoading...Error, EIdOSSLDataBindingError,
  // EIdOSSLCertificateVerifyError, EIdOSSLConnectError or EIdReadTimeout with their messages.
  // Precondition: `socket` holds a connected socket.
  void AttachToSocket(TIdSocketHandle* socket) override;
  // Frees the channel (without sending close_notify) and the context, then forgets the socket.
  void DetachFromSocket() override;
  // A TLS read / write with the socket-result convention: a count, 0 when the peer closed, -1
  // with the thread's last socket error set.
  int ReceiveThrough(char* bytes, int capacity) override;
  int SendThrough(const char* bytes, int count) override;
  // Bytes waiting inside the channel: what a shorter read left of a record, or records read
  // ahead and not yet decrypted (counted as 1).
  int PendingBytes() const override;

 private:
  SslLibrary& library_;
  TIdSSLOptions sslOptions_;
  std::unique_ptr<TIdSSLContext> context_;
  std::unique_ptr<TIdSSLSocket> channel_;
};

}  // namespace pixhaul
