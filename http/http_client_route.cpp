// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Where a hop of TIdHTTP goes: a redirect's address, the route through a proxy (if any), and
// the host, port and intercept of the connection that carries it.
#include "framework/ascii_text.h"
#include "http/http_client.h"
#include "http/request_target.h"
#include "http/tls/secure_intercept.h"
#include "http/uri.h"

namespace pixhaul {

namespace {

bool IsHttpScheme(const std::string& scheme) {
  return SameText(scheme, "http") || SameText(scheme, "https");
}

const char* VersionText(TIdHTTPProtocolVersion version) {
  return version == TIdHTTPProtocolVersion::pv1_0 ? "1.0" : "1.1";
}

}  // namespace

void TIdHTTP::ChooseRoute(const HopAddress& address, int32_t port) {
  // Without a choice the described road stays exactly as it is, proxy form fields included.
  if (Proxies.AlwaysDirect()) return;
  const bool secure =
      address.protocol.empty() ? InterceptEnabled() : SameText(address.protocol, "https");
  const std::string host = address.host.empty() ? RequestHost : address.host;
  const int32_t hostPort = port != -1 ? port : address.host.empty() ? Port() : secure ? 443 : 80;
  const std::optional<ProxyServer> proxy = Proxies.For(secure ? "https" : "http", host, hostPort);
  // Plain http through an HTTP proxy is asked of the proxy itself; everything else through a
  // proxy goes in a tunnel, so TLS runs end to end.
  const bool proxyForm = proxy && proxy->kind == ProxyKind::kHttp && !secure;
  const std::string route =
      !proxy ? "direct" : (proxyForm ? "form " : "tunnel ") + ProxyDisplayAddress(*proxy);
  if (route != route_) {
    if (IsConnected()) CloseConnection();
    // The proxy form hooks the TLS intercept for its own tunnel; no other route may keep that.
    if (route_.starts_with("form") && Intercept() != nullptr) Intercept()->OnConnect = nullptr;
    route_ = route;
  }
  if (proxyForm) {
    Request.ProxyServer = proxy->host;
    Request.ProxyPort = proxy->port;
    Request.ProxyUsername = proxy->user;
    Request.ProxyPassword = proxy->password;
    if (InterceptEnabled()) {
      CloseConnection();
      SetInterceptEnabled(false);
    }
    SetTunnelProxy(std::nullopt);
    return;
  }
  Request.ProxyServer.clear();
  Request.ProxyPort = 0;
  Request.ProxyUsername.clear();
  Request.ProxyPassword.clear();
  SetTunnelProxy(proxy);
}

TIdHTTP::HopAddress TIdHTTP::RedirectAddress(std::string dest,
                                             const std::string& currentTarget) const {
  TIdURI::UnifySlashes(dest);
  HopAddress next;
  std::string scheme = ReferenceScheme(dest);
  if (scheme.empty() && dest.starts_with("//")) {
    // A reference with an authority but no scheme keeps the scheme of the current request.
    scheme = InterceptEnabled() ? "https" : "http";
    dest = scheme + ":" + dest;
  }
  if (!scheme.empty()) {
    // Any other scheme must never be fetched as if it were plain HTTP.
    if (!IsHttpScheme(scheme)) throw EIdUnknownProtocol();
    const std::string rest = dest.substr(scheme.size() + 1);
    if (rest.starts_with("//")) {
      std::string path, resourceName, fragment;
      TIdURI::SplitAddress(dest, next.protocol, next.host, path, resourceName, next.portText,
                           fragment);
      next.target = path + resourceName;
      return next;
    }
    // "http:a.jpg" names no host: a relative reference on the current one.
    dest = rest;
  }
  next.target = ResolveRelativeTarget(currentTarget, dest);
  return next;
}

bool TIdHTTP::PrepareTarget(const std::string& protocol, const std::string& host, int32_t port) {
  if (!Request.ProxyServer.empty()) {
    SetHost(Request.ProxyServer);
    SetPort(Request.ProxyPort);
    if (!host.empty()) RequestHost = host;
    if (!protocol.empty()) RequestProtocol = protocol;
    tunnelHost_ = host;
    tunnelPort_ = port == -1 ? 443 : port;
    tunnelVersion_ = VersionText(ProtocolVersion);
    if (auto* ssl = dynamic_cast<TIdSSLConnectionIntercept*>(Intercept())) {
      ssl->OnConnect = [this](TIdConnectionIntercept&, TIdSocketHandle&) { OpenTunnel(); };
    } else if (Intercept() != nullptr) {
      Intercept()->OnConnect = nullptr;
    }
    return true;
  }

  if (SameText(protocol, "HTTPS")) {
    if (dynamic_cast<TIdSSLConnectionIntercept*>(Intercept()) == nullptr) {
      throw EIdInterceptPropInvalid();
    }
    HostStep(protocol, host, port);
    SetPort(port == -1 ? 443 : port);
    // A plain connection still open to the same host and port cannot turn into TLS midway.
    if (!InterceptEnabled() && IsConnected()) CloseConnection();
    SetInterceptEnabled(true);
  } else {
    // A plain "http" address is plain even when the connection so far spoke TLS (an https page
    // redirecting to http). A relative address leaves the intercept as it is: on a TLS
    // connection it stays on TLS.
    if (SameText(protocol, "HTTP") && InterceptEnabled()) {
      CloseConnection();
      SetInterceptEnabled(false);
    }
    HostStep(protocol, host, port);
    // A relative address also keeps the port: should its connection have been closed, the
    // next connect must reach the same server again, not port 80 (with TLS still on).
    if (port != -1) {
      SetPort(port);
    } else if (!host.empty()) {
      SetPort(80);
    }
  }
  return false;
}

void TIdHTTP::HostStep(const std::string& protocol, const std::string& host, int32_t port) {
  if (host.empty()) {
    RequestHost = Host();
    return;
  }
  // An absent port (-1) never equals Port(), so an address naming a host without a port
  // always starts a fresh connection, even to the same host.
  if ((!SameText(Host(), host) || port != Port()) && IsConnected()) CloseConnection();
  SetHost(host);
  RequestHost = host;
  if (!protocol.empty()) RequestProtocol = protocol;
}

void TIdHTTP::OpenTunnel() {
  SetInterceptEnabled(false);
  WriteLine("CONNECT " + tunnelHost_ + ":" + std::to_string(tunnelPort_) + " HTTP/" +
            tunnelVersion_);
  WriteLine("");
  for (int i = 0; i < 3; ++i) ReadLine();
  SetInterceptEnabled(true);
}

}  // namespace pixhaul
