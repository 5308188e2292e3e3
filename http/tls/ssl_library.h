// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// SslLibrary: OpenSSL 3 opened at run time, and the table of its functions the TLS intercept
// calls.
//
// The program never links libssl or libcrypto. The first TLS connection of the process opens
// both files with dlopen, binds every function of `SslFunctions` by name and starts the library
// (OPENSSL_init_ssl). Until then nothing of OpenSSL is loaded, so a machine without it runs
// plain HTTP downloads unharmed. A failed start is remembered: that connection and every later
// one raise EIdOSSLCouldNotLoadSSLLibrary "Could not load SSL library." without trying again.
//
// `Shared()` is the process-wide instance every intercept uses unless told otherwise. Tests make
// their own instances with other file names. All members are safe to call from any thread at
// any time; the start runs exactly once per instance even when many threads race to it. Loaded
// files stay open until the process ends: detached worker threads may still be inside the
// library while the process winds down.
#pragma once

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <atomic>
#include <mutex>
#include <string>

namespace pixhaul {

// The OpenSSL functions the TLS client road calls, bound by exact name. The headers give only
// the types; every call goes through these pointers.
struct SslFunctions {
  decltype(&::OPENSSL_init_ssl) OPENSSL_init_ssl = nullptr;
  decltype(&::TLS_client_method) TLS_client_method = nullptr;
  decltype(&::TLS_server_method) TLS_server_method = nullptr;
  decltype(&::TLS_method) TLS_method = nullptr;
  decltype(&::SSL_CTX_new) SSL_CTX_new = nullptr;
  decltype(&::SSL_CTX_free) SSL_CTX_free = nullptr;
  decltype(&::SSL_CTX_set_cipher_list) SSL_CTX_set_cipher_list = nullptr;
  decltype(&::SSL_CTX_set_options) SSL_CTX_set_options = nullptr;
  decltype(&::SSL_CTX_set_default_passwd_cb) SSL_CTX_set_default_passwd_cb = nullptr;
  decltype(&::SSL_CTX_set_default_passwd_cb_userdata) SSL_CTX_set_default_passwd_cb_userdata =
      nullptr;
  decltype(&::SSL_CTX_load_verify_locations) SSL_CTX_load_verify_locations = nullptr;
  decltype(&::SSL_CTX_use_certificate_file) SSL_CTX_use_certificate_file = nullptr;
  decltype(&::SSL_CTX_use_PrivateKey_file) SSL_CTX_use_PrivateKey_file = nullptr;
  decltype(&::SSL_CTX_check_private_key) SSL_CTX_check_private_key = nullptr;
  decltype(&::SSL_new) SSL_new = nullptr;
  decltype(&::SSL_free) SSL_free = nullptr;
  decltype(&::SSL_set_ex_data) SSL_set_ex_data = nullptr;
  decltype(&::SSL_set_info_callback) SSL_set_info_callback = nullptr;
  decltype(&::SSL_state_string_long) SSL_state_string_long = nullptr;
  decltype(&::SSL_set_fd) SSL_set_fd = nullptr;
  decltype(&::SSL_ctrl) SSL_ctrl = nullptr;
  decltype(&::SSL_connect) SSL_connect = nullptr;
  decltype(&::SSL_read) SSL_read = nullptr;
  decltype(&::SSL_write) SSL_write = nullptr;
  decltype(&::SSL_pending) SSL_pending = nullptr;
  decltype(&::SSL_has_pending) SSL_has_pending = nullptr;
  decltype(&::SSL_set_default_read_buffer_len) SSL_set_default_read_buffer_len = nullptr;
  decltype(&::SSL_get_error) SSL_get_error = nullptr;
  decltype(&::SSL_get_rbio) SSL_get_rbio = nullptr;
  decltype(&::SSL_set_shutdown) SSL_set_shutdown = nullptr;
  decltype(&::SSL_shutdown) SSL_shutdown = nullptr;
  decltype(&::ERR_clear_error) ERR_clear_error = nullptr;
  decltype(&::BIO_number_read) BIO_number_read = nullptr;
  // Verifying the server's certificate, when asked for.
  decltype(&::SSL_CTX_set_verify) SSL_CTX_set_verify = nullptr;
  decltype(&::SSL_CTX_set_default_verify_paths) SSL_CTX_set_default_verify_paths = nullptr;
  decltype(&::SSL_get0_param) SSL_get0_param = nullptr;
  decltype(&::SSL_set1_host) SSL_set1_host = nullptr;
  decltype(&::SSL_get_verify_result) SSL_get_verify_result = nullptr;
  decltype(&::X509_VERIFY_PARAM_set1_ip_asc) X509_VERIFY_PARAM_set1_ip_asc = nullptr;
  decltype(&::X509_verify_cert_error_string) X509_verify_cert_error_string = nullptr;
};

class SslLibrary {
 public:
  // The file names the process-wide instance opens.
  static constexpr const char* kSslFileName = "libssl.so.3";
  static constexpr const char* kCryptoFileName = "libcrypto.so.3";

  // An instance that will open the given files on its first `Start`. Nothing is opened here.
  SslLibrary(std::string sslFileName, std::string cryptoFileName);
  SslLibrary(const SslLibrary&) = delete;
  SslLibrary& operator=(const SslLibrary&) = delete;
  ~SslLibrary();

  // The process-wide instance over kSslFileName and kCryptoFileName.
  static SslLibrary& Shared();

  // Opens, binds and starts the library on the first call; later calls return the same table
  // at once. Raises EIdOSSLCouldNotLoadSSLLibrary "Could not load SSL library." when a file is
  // missing, a function is not found or the start-up fails, on this call and every later one.
  const SslFunctions& Start();

  // Observers for tests and diagnostics.
  bool IsLoaded() const { return state_.load(std::memory_order_acquire) == State::kLoaded; }
  bool HasFailed() const { return state_.load(std::memory_order_acquire) == State::kFailed; }
  // How many times the files were actually opened (0 or 1).
  int LoadAttempts() const { return loadAttempts_.load(std::memory_order_acquire); }

 private:
  enum class State { kUnloaded, kLoaded, kFailed };

  // Opens both files and binds the table; true on success. Called once, under startMutex_.
  bool Load();
  void CloseFiles();

  const std::string sslFileName_;
  const std::string cryptoFileName_;
  std::mutex startMutex_;  // serialises the one start; guards the handles while it runs
  std::atomic<State> state_{State::kUnloaded};
  std::atomic<int> loadAttempts_{0};
  void* sslHandle_ = nullptr;     // written once under startMutex_
  void* cryptoHandle_ = nullptr;  // written once under startMutex_
  SslFunctions functions_;        // complete before state_ becomes kLoaded (release)
};

}  // namespace pixhaul
