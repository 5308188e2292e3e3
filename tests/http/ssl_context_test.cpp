// TIdSSLContext: method choice, preparation, certificate and key files.
#include "http/ssl_context.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "http/ssl_exceptions.h"
#include "tests/support/tls_server.h"

namespace pixhaul {
namespace {

SslLibrary& Library() {
  static SslLibrary library(SslLibrary::kSslFileName, SslLibrary::kCryptoFileName);
  return library;
}

// A file in the temporary folder, removed when the test ends.
class TempFile {
 public:
  explicit TempFile(const std::string& content) {
    char pattern[] = "/tmp/pixhaul_ssl_context_XXXXXX";
    int fd = mkstemp(pattern);
    path_ = pattern;
    close(fd);
    std::ofstream(path_, std::ios::binary) << content;
  }
  ~TempFile() { std::remove(path_.c_str()); }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// Runs `action` and returns the message of the EIdOpenSSLError it raised, "" for none.
template <typename Action>
std::string RaisedMessage(Action action) {
  try {
    action();
  } catch (const EIdOpenSSLError& error) {
    return error.Message();
  }
  return "";
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
      {4, sslmClient, nullptr, "Error geting SSL method."},
      {-1, sslmClient, nullptr, "Error geting SSL method."},
      {99, sslmServer, nullptr, "Error geting SSL method."},
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
      EXPECT_EQ(RaisedMessage([&] { context.Prepare(c.mode); }), c.message);
    }
  }
}

TEST(TIdSSLContext, ChoosingWithoutModeRaisesModeNotSet) {
  TIdSSLContext context(Library());
  EXPECT_EQ(context.Mode(), sslmUnassigned);
  EXPECT_EQ(RaisedMessage([&] { context.ChooseMethod(); }), "Mode has not been set.");
  EXPECT_THROW(context.ChooseMethod(), EIdOSSLModeNotSet);
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
  EXPECT_EQ(RaisedMessage([&] { TIdSSLContext context(missing); }), "Could not load SSL library.");
}

TEST(TIdSSLContext, CertificateAndKeyFiles) {
  TempFile certificate(test::TestCertificatePem());
  TempFile key(test::TestPrivateKeyPem());
  TempFile encryptedKey(test::TestPrivateKeyPem("s3cret"));
  TempFile garbage("-----BEGIN NOTHING-----\nxyz\n-----END NOTHING-----\n");
  const std::string missing = "/tmp/pixhaul-no-such-file.pem";

  struct Case {
    const char* what;
    std::string root, cert, keyFile, password;
    const char* message;
  };
  const Case cases[] = {
      {"no files", "", "", "", "", ""},
      {"root file", certificate.Path(), "", "", "", ""},
      {"missing root file", missing, "", "", "", "Could not load root certificate."},
      {"garbage root file", garbage.Path(), "", "", "", "Could not load root certificate."},
      {"certificate and key", "", certificate.Path(), key.Path(), "", ""},
      {"missing certificate", "", missing, "", "", "Could not load certificate."},
      {"garbage certificate", "", garbage.Path(), "", "", "Could not load certificate."},
      {"missing key", "", certificate.Path(), missing, "", "Could not load key, check password."},
      {"key without certificate", "", "", key.Path(), "", "Could not load key, check password."},
      {"encrypted key, right password", "", certificate.Path(), encryptedKey.Path(), "s3cret", ""},
      {"encrypted key, wrong password", "", certificate.Path(), encryptedKey.Path(), "wrong",
       "Could not load key, check password."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TIdSSLContext context(Library());
    context.RootCertFile = c.root;
    context.CertFile = c.cert;
    context.KeyFile = c.keyFile;
    std::string password = c.password;
    context.AskPassword = [password] { return password; };
    EXPECT_EQ(RaisedMessage([&] { context.Prepare(sslmClient); }), c.message);
  }
}

}  // namespace
}  // namespace pixhaul
