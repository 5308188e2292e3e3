// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// SslLibrary: OpenSSL opened on demand, once, by the file names it was given.
// test-labels: threaded
#include "http/tls/ssl_library.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "http/tls/ssl_exceptions.h"
#include "tests/support/raised.h"

namespace pixhaul::test {
namespace {

constexpr const char* kCouldNotLoad = "EIdOSSLCouldNotLoadSSLLibrary: Could not load SSL library.";

TEST(SslLibrary, OpensNothingBeforeTheFirstStart) {
  SslLibrary library(SslLibrary::kSslFileName, SslLibrary::kCryptoFileName);
  EXPECT_FALSE(library.IsLoaded());
  EXPECT_FALSE(library.HasFailed());
  EXPECT_EQ(library.LoadAttempts(), 0);
}

TEST(SslLibrary, UnusableFilesRaiseAtEveryStart) {
  struct Case {
    const char* what;
    const char* sslFile;
    const char* cryptoFile;
  };
  const Case cases[] = {
      {"missing ssl file", "libpixhaul-no-such-ssl.so.3", SslLibrary::kCryptoFileName},
      {"missing crypto file", SslLibrary::kSslFileName, "libpixhaul-no-such-crypto.so.3"},
      // A real library that lacks the TLS functions: found, but not usable.
      {"file without the functions", SslLibrary::kCryptoFileName, SslLibrary::kCryptoFileName},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SslLibrary library(c.sslFile, c.cryptoFile);
    EXPECT_EQ(Raised([&] { library.Start(); }), kCouldNotLoad);
    EXPECT_EQ(Raised([&] { library.Start(); }), kCouldNotLoad);
    EXPECT_TRUE(library.HasFailed());
    EXPECT_FALSE(library.IsLoaded());
    // The failure is remembered, not retried on every connection.
    EXPECT_EQ(library.LoadAttempts(), 1);
  }
}

TEST(SslLibrary, FailureIsOfTheLoadErrorFamily) {
  SslLibrary library("libpixhaul-no-such-ssl.so.3", SslLibrary::kCryptoFileName);
  EXPECT_THROW(library.Start(), EIdOpenSSLLoadError);
  EXPECT_THROW(library.Start(), EIdOpenSSLError);
  EXPECT_THROW(library.Start(), EIdException);
}

TEST(SslLibrary, StartBindsEveryFunctionOnce) {
  SslLibrary library(SslLibrary::kSslFileName, SslLibrary::kCryptoFileName);
  const SslFunctions& first = library.Start();
  const SslFunctions& second = library.Start();
  EXPECT_EQ(&first, &second);
  EXPECT_TRUE(library.IsLoaded());
  EXPECT_EQ(library.LoadAttempts(), 1);

  const void* const bound[] = {
      reinterpret_cast<const void*>(first.OPENSSL_init_ssl),
      reinterpret_cast<const void*>(first.TLS_client_method),
      reinterpret_cast<const void*>(first.TLS_server_method),
      reinterpret_cast<const void*>(first.TLS_method),
      reinterpret_cast<const void*>(first.SSL_CTX_new),
      reinterpret_cast<const void*>(first.SSL_CTX_free),
      reinterpret_cast<const void*>(first.SSL_CTX_set_cipher_list),
      reinterpret_cast<const void*>(first.SSL_CTX_set_options),
      reinterpret_cast<const void*>(first.SSL_CTX_set_default_passwd_cb),
      reinterpret_cast<const void*>(first.SSL_CTX_set_default_passwd_cb_userdata),
      reinterpret_cast<const void*>(first.SSL_CTX_load_verify_locations),
      reinterpret_cast<const void*>(first.SSL_CTX_use_certificate_file),
      reinterpret_cast<const void*>(first.SSL_CTX_use_PrivateKey_file),
      reinterpret_cast<const void*>(first.SSL_CTX_check_private_key),
      reinterpret_cast<const void*>(first.SSL_new),
      reinterpret_cast<const void*>(first.SSL_free),
      reinterpret_cast<const void*>(first.SSL_set_ex_data),
      reinterpret_cast<const void*>(first.SSL_set_info_callback),
      reinterpret_cast<const void*>(first.SSL_state_string_long),
      reinterpret_cast<const void*>(first.SSL_set_fd),
      reinterpret_cast<const void*>(first.SSL_ctrl),
      reinterpret_cast<const void*>(first.SSL_connect),
      reinterpret_cast<const void*>(first.SSL_read),
      reinterpret_cast<const void*>(first.SSL_write),
      reinterpret_cast<const void*>(first.SSL_pending),
      reinterpret_cast<const void*>(first.SSL_has_pending),
      reinterpret_cast<const void*>(first.SSL_set_default_read_buffer_len),
      reinterpret_cast<const void*>(first.SSL_get_error),
      reinterpret_cast<const void*>(first.SSL_get_rbio),
      reinterpret_cast<const void*>(first.SSL_set_shutdown),
      reinterpret_cast<const void*>(first.SSL_shutdown),
      reinterpret_cast<const void*>(first.ERR_clear_error),
      reinterpret_cast<const void*>(first.BIO_number_read),
      reinterpret_cast<const void*>(first.SSL_CTX_set_verify),
      reinterpret_cast<const void*>(first.SSL_CTX_set_default_verify_paths),
      reinterpret_cast<const void*>(first.SSL_get0_param),
      reinterpret_cast<const void*>(first.SSL_set1_host),
      reinterpret_cast<const void*>(first.SSL_get_verify_result),
      reinterpret_cast<const void*>(first.X509_VERIFY_PARAM_set1_ip_asc),
      reinterpret_cast<const void*>(first.X509_verify_cert_error_string),
  };
  for (size_t i = 0; i < std::size(bound); ++i) {
    EXPECT_NE(bound[i], nullptr) << "function #" << i;
  }
  EXPECT_NE(first.TLS_client_method(), nullptr);
}

TEST(SslLibrary, RacingFirstStartsLoadExactlyOnce) {
  SslLibrary library(SslLibrary::kSslFileName, SslLibrary::kCryptoFileName);
  constexpr int kThreads = 16;
  std::atomic<int> ready{0};
  std::vector<const SslFunctions*> tables(kThreads, nullptr);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      ready.fetch_add(1);
      while (ready.load() < kThreads) std::this_thread::yield();
      tables[i] = &library.Start();
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(library.LoadAttempts(), 1);
  for (const SslFunctions* table : tables) EXPECT_EQ(table, tables[0]);
}

TEST(SslLibrary, RacingFailedStartsAllRaise) {
  SslLibrary library("libpixhaul-no-such-ssl.so.3", SslLibrary::kCryptoFileName);
  constexpr int kThreads = 16;
  std::atomic<int> raised{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&] {
      if (Raised([&] { library.Start(); }) == kCouldNotLoad) raised.fetch_add(1);
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(raised.load(), kThreads);
  EXPECT_EQ(library.LoadAttempts(), 1);
}

}  // namespace
}  // namespace pixhaul::test
