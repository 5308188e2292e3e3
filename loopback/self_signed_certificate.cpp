// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "loopback/self_signed_certificate.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <stdexcept>

namespace pixhaul::loopback {

namespace {

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateFree {
  void operator()(X509* certificate) const { X509_free(certificate); }
};
struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};

void Require(bool ok, const char* step) {
  if (!ok) throw std::runtime_error(std::string("self-signed certificate: ") + step + " failed");
}

struct Identity {
  std::unique_ptr<EVP_PKEY, KeyFree> key;
  std::unique_ptr<X509, CertificateFree> certificate;
};

const Identity& SharedIdentity() {
  static const Identity identity = [] {
    Identity made;
    made.key.reset(EVP_EC_gen("P-256"));
    Require(made.key != nullptr, "key generation");
    made.certificate.reset(X509_new());
    X509* certificate = made.certificate.get();
    Require(certificate != nullptr, "certificate");
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
    X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 30L * 24 * 3600);
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
    X509_set_issuer_name(certificate, name);
    X509_set_pubkey(certificate, made.key.get());
    Require(X509_sign(certificate, made.key.get(), EVP_sha256()) > 0, "signing");
    return made;
  }();
  return identity;
}

std::string BioText(BIO* bio) {
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio, &data);
  return std::string(data, static_cast<size_t>(length));
}

}  // namespace

SslContextPtr NewServerContext() {
  const Identity& identity = SharedIdentity();
  SslContextPtr context(SSL_CTX_new(TLS_server_method()));
  Require(context != nullptr, "context");
  Require(SSL_CTX_use_certificate(context.get(), identity.certificate.get()) == 1,
          "use certificate");
  Require(SSL_CTX_use_PrivateKey(context.get(), identity.key.get()) == 1, "use key");
  SSL_CTX_set_session_cache_mode(context.get(), SSL_SESS_CACHE_OFF);
  SSL_CTX_set_num_tickets(context.get(), 0);
  SSL_CTX_set_options(context.get(), SSL_OP_IGNORE_UNEXPECTED_EOF);
  return context;
}

std::string SelfSignedCertificatePem() {
  std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
  Require(bio && PEM_write_bio_X509(bio.get(), SharedIdentity().certificate.get()) == 1,
          "writing the certificate");
  return BioText(bio.get());
}

std::string SelfSignedKeyPem(const std::string& password) {
  std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
  const EVP_CIPHER* cipher = password.empty() ? nullptr : EVP_aes_128_cbc();
  Require(bio && PEM_write_bio_PrivateKey(bio.get(), SharedIdentity().key.get(), cipher,
                                          reinterpret_cast<const unsigned char*>(password.data()),
                                          static_cast<int>(password.size()), nullptr, nullptr) == 1,
          "writing the key");
  return BioText(bio.get());
}

}  // namespace pixhaul::loopback
