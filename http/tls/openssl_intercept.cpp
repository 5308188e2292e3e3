// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "http/tls/openssl_intercept.h"

#include "http/socket/socket_error.h"
#include "http/socket/socket_handle.h"
#include "http/socket/socket_stack.h"

namespace pixhaul {

TIdConnectionInterceptOpenSSL::TIdConnectionInterceptOpenSSL()
    : TIdConnectionInterceptOpenSSL(SslLibrary::Shared()) {}

TIdConnectionInterceptOpenSSL::TIdConnectionInterceptOpenSSL(SslLibrary& library)
    : library_(library) {}

// The channel goes before the context it was made from.
TIdConnectionInterceptOpenSSL::~TIdConnectionInterceptOpenSSL() {
  channel_.reset();
  context_.reset();
}

void TIdConnectionInterceptOpenSSL::AttachToSocket(TIdSocketHandle* socket) {
  TIdSSLConnectionIntercept::AttachToSocket(socket);

  // A second attach without a detach in between replaces the old channel and context.
  channel_.reset();
  context_.reset();
  context_ = std::make_unique<TIdSSLContext>(library_);
  context_->RootCertFile = sslOptions_.RootCertFile;
  context_->CertFile = sslOptions_.CertFile;
  context_->KeyFile = sslOptions_.KeyFile;
  context_->Method = sslOptions_.Method;
  context_->VerifyServer = sslOptions_.VerifyServer;
  if (OnGetPassword) {
    context_->AskPassword = [this] {
      std::string password;
      OnGetPassword(password);
      return password;
    };
  }
  context_->Prepare(sslmClient);

  channel_ = std::make_unique<TIdSSLSocket>(this);
  if (OnStatusInfo) {
    channel_->OnStatusInfo = [this](const std::string& message) {
      if (OnStatusInfo) OnStatusInfo(message);
    };
  }
  // An address (dotted or IPv6) is no host name; servers expect the extension only for names.
  const std::string& host = PeerHostName();
  const bool isAddress = TIdStack::IsDottedQuad(host) || TIdStack::IsIPv6Literal(host);
  std::string serverName = isAddress ? std::string() : host;
  channel_->Connect(socket->Handle(), *context_, serverName, host, ReadGuard());
}

void TIdConnectionInterceptOpenSSL::DetachFromSocket() {
  channel_.reset();
  context_.reset();
  TIdSSLConnectionIntercept::DetachFromSocket();
}

int TIdConnectionInterceptOpenSSL::ReceiveThrough(char* bytes, int capacity) {
  if (!channel_) {
    TIdStack::SetLastError(kWsaENotConn);
    return -1;
  }
  return channel_->Receive(bytes, capacity);
}

int TIdConnectionInterceptOpenSSL::SendThrough(const char* bytes, int count) {
  if (!channel_) {
    TIdStack::SetLastError(kWsaENotConn);
    return -1;
  }
  return channel_->Send(bytes, count);
}

int TIdConnectionInterceptOpenSSL::PendingBytes() const {
  return channel_ ? channel_->Pending() : 0;
}

}  // namespace pixhaul
