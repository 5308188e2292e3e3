// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "http/tls/ssl_library.h"

#include <dlfcn.h>

#include "http/tls/ssl_exceptions.h"

namespace pixhaul {

namespace {

// Binds `slot` to the symbol `name` of `handle`; false when the symbol is missing.
template <typename Function>
bool Bind(void* handle, const char* name, Function& slot) {
  void* symbol = dlsym(handle, name);
  slot = reinterpret_cast<Function>(symbol);
  return symbol != nullptr;
}

}  // namespace

SslLibrary::SslLibrary(std::string sslFileName, std::string cryptoFileName)
    : sslFileName_(std::move(sslFileName)), cryptoFileName_(std::move(cryptoFileName)) {}

// Loaded files are deliberately left open; see the header.
SslLibrary::~SslLibrary() = default;

SslLibrary& SslLibrary::Shared() {
  static SslLibrary shared(kSslFileName, kCryptoFileName);
  return shared;
}

const SslFunctions& SslLibrary::Start() {
  State state = state_.load(std::memory_order_acquire);
  if (state == State::kUnloaded) {
    std::lock_guard<std::mutex> lock(startMutex_);
    state = state_.load(std::memory_order_acquire);
    if (state == State::kUnloaded) {
      state = Load() ? State::kLoaded : State::kFailed;
      state_.store(state, std::memory_order_release);
    }
  }
  if (state != State::kLoaded) throw EIdOSSLCouldNotLoadSSLLibrary();
  return functions_;
}

bool SslLibrary::Load() {
  loadAttempts_.fetch_add(1, std::memory_order_acq_rel);
  // libssl needs libcrypto; opening it first by our own name makes a missing or foreign
  // libcrypto fail here rather than through libssl's dependency lookup.
  cryptoHandle_ = dlopen(cryptoFileName_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (cryptoHandle_ != nullptr) sslHandle_ = dlopen(sslFileName_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (cryptoHandle_ == nullptr || sslHandle_ == nullptr) {
    CloseFiles();
    return false;
  }

  SslFunctions& f = functions_;
  void* ssl = sslHandle_;
  bool bound =
      Bind(ssl, "OPENSSL_init_ssl", f.OPENSSL_init_ssl) &&
      Bind(ssl, "TLS_client_method", f.TLS_client_method) &&
      Bind(ssl, "TLS_server_method", f.TLS_server_method) &&
      Bind(ssl, "TLS_method", f.TLS_method) && Bind(ssl, "SSL_CTX_new", f.SSL_CTX_new) &&
      Bind(ssl, "SSL_CTX_free", f.SSL_CTX_free) &&
      Bind(ssl, "SSL_CTX_set_cipher_list", f.SSL_CTX_set_cipher_list) &&
      Bind(ssl, "SSL_CTX_set_options", f.SSL_CTX_set_options) &&
      Bind(ssl, "SSL_CTX_set_default_passwd_cb", f.SSL_CTX_set_default_passwd_cb) &&
      Bind(ssl, "SSL_CTX_set_default_passwd_cb_userdata",
           f.SSL_CTX_set_default_passwd_cb_userdata) &&
      Bind(ssl, "SSL_CTX_load_verify_locations", f.SSL_CTX_load_verify_locations) &&
      Bind(ssl, "SSL_CTX_use_certificate_file", f.SSL_CTX_use_certificate_file) &&
      Bind(ssl, "SSL_CTX_use_PrivateKey_file", f.SSL_CTX_use_PrivateKey_file) &&
      Bind(ssl, "SSL_CTX_check_private_key", f.SSL_CTX_check_private_key) &&
      Bind(ssl, "SSL_new", f.SSL_new) && Bind(ssl, "SSL_free", f.SSL_free) &&
      Bind(ssl, "SSL_set_ex_data", f.SSL_set_ex_data) &&
      Bind(ssl, "SSL_set_info_callback", f.SSL_set_info_callback) &&
      Bind(ssl, "SSL_state_string_long", f.SSL_state_string_long) &&
      Bind(ssl, "SSL_set_fd", f.SSL_set_fd) && Bind(ssl, "SSL_ctrl", f.SSL_ctrl) &&
      Bind(ssl, "SSL_connect", f.SSL_connect) && Bind(ssl, "SSL_read", f.SSL_read) &&
      Bind(ssl, "SSL_write", f.SSL_write) && Bind(ssl, "SSL_pending", f.SSL_pending) &&
      Bind(ssl, "SSL_has_pending", f.SSL_has_pending) &&
      Bind(ssl, "SSL_set_default_read_buffer_len", f.SSL_set_default_read_buffer_len) &&
      Bind(ssl, "SSL_get_error", f.SSL_get_error) && Bind(ssl, "SSL_get_rbio", f.SSL_get_rbio) &&
      Bind(ssl, "SSL_set_shutdown", f.SSL_set_shutdown) &&
      Bind(ssl, "SSL_shutdown", f.SSL_shutdown) &&
      Bind(cryptoHandle_, "ERR_clear_error", f.ERR_clear_error) &&
      Bind(cryptoHandle_, "BIO_number_read", f.BIO_number_read) &&
      Bind(ssl, "SSL_CTX_set_verify", f.SSL_CTX_set_verify) &&
      Bind(ssl, "SSL_CTX_set_default_verify_paths", f.SSL_CTX_set_default_verify_paths) &&
      Bind(ssl, "SSL_get0_param", f.SSL_get0_param) &&
      Bind(ssl, "SSL_set1_host", f.SSL_set1_host) &&
      Bind(ssl, "SSL_get_verify_result", f.SSL_get_verify_result) &&
      Bind(cryptoHandle_, "X509_VERIFY_PARAM_set1_ip_asc", f.X509_VERIFY_PARAM_set1_ip_asc) &&
      Bind(cryptoHandle_, "X509_verify_cert_error_string", f.X509_verify_cert_error_string);
  // OPENSSL_init_ssl is thread-safe and idempotent; OpenSSL 3 needs no locking callbacks and
  // no random-seeding call of ours.
  if (!bound || f.OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS,
                                   nullptr) <= 0) {
    functions_ = SslFunctions{};
    CloseFiles();
    return false;
  }
  return true;
}

void SslLibrary::CloseFiles() {
  if (sslHandle_ != nullptr) dlclose(sslHandle_);
  if (cryptoHandle_ != nullptr) dlclose(cryptoHandle_);
  sslHandle_ = nullptr;
  cryptoHandle_ = nullptr;
}

}  // namespace pixhaul
