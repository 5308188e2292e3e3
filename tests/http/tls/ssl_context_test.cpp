// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TIdSSLContext: method choice, preparation, certificate and key files.
#include "http/tls/ssl_context.h"

#include <gtest/gtest.h>

#include <string>

#include "http/tls/ssl_exceptions.h"
#include "loopback/self_signed_certificate.h"
#include "tests/support/raised.h"
#include "tests/support/temp_dir.h"

namespace pixhaul::test {
namespace {

SslLibrary& Library() {
  static SslLibrary library(SslLibrary::kSslFileName, SslLibrary::kCryptoFileName);
  return library;
}

TEST(TIdSSLContext, ChooseMethodTable) {
  const SslFunctions& f = Library().Start();
  struct Case {
    int method;
    TIdSSLMode mode;
    const SSL_METHOD* expected;  // null: raises
    const char* message;
  };
  const Case cases[] = {
      {0, sslmClient, f.TLS_client_method(), ""},
      {1, sslmClient, f.TLS_client_method(), ""},
      {2, sslmClient, f.TLS_client_method(), ""},
      {3, sslmClient, f.TLS_client_method(), ""},
      {1, sslmServer, f.TLS_server_method(), ""},
      {1, sslmBoth, f.TLS_method(), ""},
      {4, sslmClient, nullptr, "EIdOSSLGetMethodError: Error geting SSL method."},
      {-1, sslmClient, nullptr, "EIdOSSLGetMethodError: Error geting SSL method."},
      {99, sslmServer, nullptr, "EIdOSSLGetMethodError: Error geting SSL method."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("method " + std::to_string(c.method) + " mode " + std::to_string(c.mode));
    TIdSSLContext context(Library());
    context.Method = static_cast<TIdSSLVersion>(c.method);
    if (c.expected != nullptr) {
      context.Prepare(c.mode);
      EXPECT_EQ(context.ChooseMethod(), c.expected);
      EXPECT_NE(context.Handle(), nullptr);
    } else {
      EXPECT_EQ(Raised([&] { context.Prepare(c.mode); }), c.message);
    }
  }
}

TEST(TIdSSLContext, ChoosingWithoutModeRaisesModeNotSet) {
  TIdSSLContext context(Library());
  EXPECT_EQ(context.Mode(), sslmUnassigned);
  EXPECT_EQ(Raised([&] { context.ChooseMethod(); }), "EIdOSSLModeNotSet: Mode has not been set.");
}

TEST(TIdSSLContext, PrepareKeepsContextForSameModeAndFreesForUnassigned) {
  TIdSSLContext context(Library());
  context.Prepare(sslmClient);
  SSL_CTX* first = context.Handle();
  ASSERT_NE(first, nullptr);
  context.Prepare(sslmClient);
  EXPECT_EQ(context.Handle(), first);
  context.Prepare(sslmUnassigned);
  EXPECT_EQ(context.Handle(), nullptr);
  EXPECT_EQ(context.Mode(), sslmUnassigned);
}

TEST(TIdSSLContext, CreatingOverMissingLibraryRaises) {
  SslLibrary missing("libpixhaul-no-such-ssl.so.3", SslLibrary::kCryptoFileName);
  EXPECT_EQ(Raised([&] { TIdSSLContext context(missing); }),
            "EIdOSSLCouldNotLoadSSLLibrary: Could not load SSL library.");
}

TEST(TIdSSLContext, CertificateAndKeyFiles) {
  TempDir dir;
  const std::string certificate = dir.File("certificate.pem");
  const std::string key = dir.File("key.pem");
  const std::string encryptedKey = dir.File("encrypted-key.pem");
  const std::string garbage = dir.File("garbage.pem");
  WriteFileBytes(certificate, loopback::SelfSignedCertificatePem());
  WriteFileBytes(key, loopback::SelfSignedKeyPem());
  WriteFileBytes(encryptedKey, loopback::SelfSignedKeyPem("s3cret"));
  WriteFileBytes(garbage, "-----BEGIN NOTHING-----\nxyz\n-----END NOTHING-----\n");
  const std::string missing = dir.File("no-such-file.pem");

  struct Case {
    const char* what;
    std::string root, cert, keyFile, password;
    const char* message;
  };
  const Case cases[] = {
      {"no files", "", "", "", "", ""},
      {"root file", certificate, "", "", "", ""},
      {"missing root file", missing, "", "", "",
       "EIdOSSLLoadingRootCertError: Could not load root certificate."},
      {"garbage root file", garbage, "", "", "",
       "EIdOSSLLoadingRootCertError: Could not load root certificate."},
      {"certificate and key", "", certificate, key, "", ""},
      {"missing certificate", "", missing, "", "",
       "EIdOSSLLoadingCertError: Could not load certificate."},
      {"garbage certificate", "", garbage, "", "",
       "EIdOSSLLoadingCertError: Could not load certificate."},
      {"missing key", "", certificate, missing, "",
       "EIdOSSLLoadingKeyError: Could not load key, check password."},
      {"key without certificate", "", "", key, "",
       "EIdOSSLLoadingKeyError: Could not load key, check password."},
      {"encrypted key, right password", "", certificate, encryptedKey, "s3cret", ""},
      {"encrypted key, wrong password", "", certificate, encryptedKey, "wrong",
       "EIdOSSLLoadingKeyError: Could not load key, check password."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TIdSSLContext context(Library());
    context.RootCertFile = c.root;
    context.CertFile = c.cert;
    context.KeyFile = c.keyFile;
    std::string password = c.password;
    context.AskPassword = [password] { return password; };
    EXPECT_EQ(Raised([&] { context.Prepare(sslmClient); }), c.message);
  }
}

}  // namespace
}  // namespace pixhaul::test
