#include "tests/support/fault_tls_context.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <stdexcept>

namespace pixhaul::test {

namespace {

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertFree {
  void operator()(X509* cert) const { X509_free(cert); }
};
struct ContextFree {
  void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};

void Require(bool ok, const char* step) {
  if (!ok) throw std::runtime_error(std::string("fault server TLS set-up failed: ") + step);
}

}  // namespace

SSL_CTX* MakeFaultTlsContext() {
  std::unique_ptr<EVP_PKEY, KeyFree> key(EVP_EC_gen("P-256"));
  Require(key != nullptr, "key");
  std::unique_ptr<X509, CertFree> cert(X509_new());
  Require(cert != nullptr, "certificate");
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 7);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3600L * 24);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
  X509_set_issuer_name(cert.get(), name);
  X509_set_pubkey(cert.get(), key.get());
  Require(X509_sign(cert.get(), key.get(), EVP_sha256()) > 0, "signature");

  std::unique_ptr<SSL_CTX, ContextFree> context(SSL_CTX_new(TLS_server_method()));
  Require(context != nullptr, "context");
  Require(SSL_CTX_use_certificate(context.get(), cert.get()) == 1, "use certificate");
  Require(SSL_CTX_use_PrivateKey(context.get(), key.get()) == 1, "use key");
  SSL_CTX_set_mode(context.get(),
                   SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  // Session tickets would make the server write after the handshake on its own; the soak
  // wants every byte on the wire to be one the fault asked for.
  SSL_CTX_set_num_tickets(context.get(), 0);
  return context.release();
}

}  // namespace pixhaul::test
