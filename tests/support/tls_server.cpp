#include "tests/support/tls_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <stdexcept>

namespace pixhaul::test {

namespace {

constexpr int kIoTimeoutSeconds = 5;
constexpr int kAcceptPollMs = 50;

struct KeyDeleter {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertDeleter {
  void operator()(X509* cert) const { X509_free(cert); }
};

// A self-signed certificate for "localhost" and its key, made once per process.
struct Identity {
  std::unique_ptr<EVP_PKEY, KeyDeleter> key;
  std::unique_ptr<X509, CertDeleter> cert;
};

const Identity& SharedIdentity() {
  static const Identity identity = [] {
    Identity made;
    made.key.reset(EVP_EC_gen("P-256"));
    if (!made.key) throw std::runtime_error("test key generation failed");
    made.cert.reset(X509_new());
    X509* cert = made.cert.get();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 3600L * 24 * 30);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    X509_set_pubkey(cert, made.key.get());
    if (X509_sign(cert, made.key.get(), EVP_sha256()) <= 0) {
      throw std::runtime_error("test certificate signing failed");
    }
    return made;
  }();
  return identity;
}

void SetIoTimeouts(int fd) {
  timeval timeout{kIoTimeoutSeconds, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
}

}  // namespace

namespace {

struct BioDeleter {
  void operator()(BIO* bio) const { BIO_free(bio); }
};

std::string BioText(BIO* bio) {
  char* data = nullptr;
  long length = BIO_get_mem_data(bio, &data);
  return std::string(data, static_cast<size_t>(length));
}

}  // namespace

std::string TestCertificatePem() {
  std::unique_ptr<BIO, BioDeleter> bio(BIO_new(BIO_s_mem()));
  PEM_write_bio_X509(bio.get(), SharedIdentity().cert.get());
  return BioText(bio.get());
}

std::string TestPrivateKeyPem(const std::string& password) {
  std::unique_ptr<BIO, BioDeleter> bio(BIO_new(BIO_s_mem()));
  const EVP_CIPHER* cipher = password.empty() ? nullptr : EVP_aes_128_cbc();
  PEM_write_bio_PrivateKey(bio.get(), SharedIdentity().key.get(), cipher,
                           reinterpret_cast<const unsigned char*>(password.data()),
                           static_cast<int>(password.size()), nullptr, nullptr);
  return BioText(bio.get());
}

std::string TlsServerConnection::ReadSome(size_t maxBytes) {
  if (!pending_.empty()) {
    std::string out = pending_.substr(0, maxBytes);
    pending_.erase(0, out.size());
    return out;
  }
  std::string buffer(maxBytes, '\0');
  int n = SSL_read(ssl_, buffer.data(), static_cast<int>(buffer.size()));
  buffer.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return buffer;
}

std::string TlsServerConnection::ReadExactly(size_t count) {
  std::string out;
  while (out.size() < count) {
    std::string part = ReadSome(count - out.size());
    if (part.empty()) break;
    out += part;
  }
  return out;
}

std::string TlsServerConnection::ReadUntil(std::string_view terminator) {
  std::string out;
  while (true) {
    size_t at = out.find(terminator);
    if (at != std::string::npos) {
      pending_ = out.substr(at + terminator.size()) + pending_;
      out.resize(at + terminator.size());
      return out;
    }
    std::string part = ReadSome();
    if (part.empty()) return out;
    out += part;
  }
}

bool TlsServerConnection::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    int n = SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size()));
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool TlsServerConnection::WritePartialRecord(std::string_view bytes, size_t heldBackBytes) {
  // Encrypt into memory instead of the socket, then send all but the tail by hand.
  BIO* socketBio = SSL_get_wbio(ssl_);
  BIO_up_ref(socketBio);
  BIO* memory = BIO_new(BIO_s_mem());
  SSL_set0_wbio(ssl_, memory);
  int written = SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size()));
  std::string record = BioText(memory);
  SSL_set0_wbio(ssl_, socketBio);
  if (written <= 0 || record.size() <= heldBackBytes) return false;
  size_t toSend = record.size() - heldBackBytes;
  size_t sent = 0;
  while (sent < toSend) {
    ssize_t n = send(fd_, record.data() + sent, toSend - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

bool TlsServerConnection::WriteRaw(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

void TlsServerConnection::ResetOnClose() {
  linger abort{1, 0};
  setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
}

void TlsServerConnection::SendCloseNotify() { SSL_shutdown(ssl_); }

std::optional<std::string> TlsServerConnection::ServerName() const {
  const char* name = SSL_get_servername(ssl_, TLSEXT_NAMETYPE_host_name);
  if (name == nullptr) return std::nullopt;
  return std::string(name);
}

SSL_CTX* NewTestServerContext() {
  const Identity& identity = SharedIdentity();
  SSL_CTX* context = SSL_CTX_new(TLS_server_method());
  if (context == nullptr || SSL_CTX_use_certificate(context, identity.cert.get()) != 1 ||
      SSL_CTX_use_PrivateKey(context, identity.key.get()) != 1) {
    SSL_CTX_free(context);
    throw std::runtime_error("test TLS context setup failed");
  }
  // Many short connections per test: no session cache growth, no ticket round-trips.
  SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_OFF);
  SSL_CTX_set_num_tickets(context, 0);
  // Our client ends connections without close_notify; that is an end of stream, not an error.
  SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
  return context;
}

TlsServer::TlsServer(Handler handler, Mode mode) : handler_(std::move(handler)), mode_(mode) {
  context_ = NewTestServerContext();

  listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (listenFd_ < 0 || bind(listenFd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      listen(listenFd_, 128) != 0 ||
      getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (listenFd_ >= 0) close(listenFd_);
    SSL_CTX_free(context_);
    throw std::runtime_error("test TLS server could not listen");
  }
  port_ = ntohs(address.sin_port);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

TlsServer::~TlsServer() {
  stopping_.store(true);
  acceptThread_.join();
  close(listenFd_);
  std::vector<std::thread> threads;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    threads.swap(connectionThreads_);
  }
  for (std::thread& thread : threads) thread.join();
  SSL_CTX_free(context_);
}

int TlsServer::HandshakeCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(serverNames_.size());
}

std::vector<std::optional<std::string>> TlsServer::ServerNames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return serverNames_;
}

int TlsServer::AcceptCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return acceptCount_;
}

bool TlsServer::WaitForFinished(int count, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return finishedChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                   [&] { return finishedCount_ >= count; });
}

void TlsServer::AcceptLoop() {
  // A client that leaves mid-reply must not end the test process with SIGPIPE. Blocking it in
  // the server's own threads (connection threads inherit this mask) leaves the tests' threads
  // as they are, so a client-side SIGPIPE would still show.
  sigset_t pipeSet;
  sigemptyset(&pipeSet);
  sigaddset(&pipeSet, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSet, nullptr);
  while (!stopping_.load()) {
    pollfd waitFor{listenFd_, POLLIN, 0};
    if (poll(&waitFor, 1, kAcceptPollMs) <= 0) continue;
    int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    SetIoTimeouts(fd);
    std::lock_guard<std::mutex> lock(mutex_);
    ++acceptCount_;
    connectionThreads_.emplace_back([this, fd] {
      if (mode_ == Mode::kRefuseHandshake) {
        Refuse(fd);
      } else {
        Serve(fd);
      }
      close(fd);
      std::lock_guard<std::mutex> finishedLock(mutex_);
      ++finishedCount_;
      finishedChanged_.notify_all();
    });
  }
}

void TlsServer::Serve(int fd) {
  SSL* ssl = SSL_new(context_);
  if (ssl == nullptr) return;
  SSL_set_fd(ssl, fd);
  if (SSL_accept(ssl) == 1) {
    TlsServerConnection connection(ssl, fd);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      serverNames_.push_back(connection.ServerName());
    }
    if (handler_) handler_(connection);
  }
  SSL_free(ssl);
}

void TlsServer::Refuse(int fd) {
  // Read the ClientHello record (its 5-byte header gives the length), then answer with a fatal
  // protocol_version alert (level 2, description 70), the answer of a server that supports none
  // of the offered versions.
  unsigned char header[5];
  size_t got = 0;
  while (got < sizeof header) {
    ssize_t n = recv(fd, header + got, sizeof header - got, 0);
    if (n <= 0) return;
    got += static_cast<size_t>(n);
  }
  size_t bodyLength = (static_cast<size_t>(header[3]) << 8) | header[4];
  std::string body(bodyLength, '\0');
  got = 0;
  while (got < bodyLength) {
    ssize_t n = recv(fd, body.data() + got, bodyLength - got, 0);
    if (n <= 0) return;
    got += static_cast<size_t>(n);
  }
  const unsigned char alert[] = {0x15, 0x03, 0x01, 0x00, 0x02, 0x02, 0x46};
  send(fd, alert, sizeof alert, MSG_NOSIGNAL);
}

}  // namespace pixhaul::test
