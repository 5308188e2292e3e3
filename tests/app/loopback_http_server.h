// LoopbackHttpServer: a small HTTP/1.1 server on 127.0.0.1 (system-chosen port) serving fixed
// replies by path, for the window tests: result pages for the web view and images for the
// download workers.
//
// Every connection gets one reply and is closed. One acceptor thread plus one thread per
// connection; every read waits at most a few seconds, and the destructor stops accepting and
// joins every thread. Serve and the counters may be called from any thread.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pixhaul::apptest {

class LoopbackHttpServer {
 public:
  struct Reply {
    std::string contentType = "text/html; charset=utf-8";
    std::string body;
    int status = 200;
  };

  // Raises std::runtime_error when the socket cannot be set up.
  LoopbackHttpServer();
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  void Serve(const std::string& path, Reply reply);
  // "http://127.0.0.1:<port>" + path
  std::string Address(const std::string& path) const;
  int RequestCount(const std::string& path) const;

 private:
  void AcceptLoop();
  void HandleConnection(int fd);

  int listenFd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::map<std::string, Reply> replies_;        // guarded by mutex_
  std::map<std::string, int> requestCounts_;    // guarded by mutex_
  std::vector<std::thread> connectionThreads_;  // guarded by mutex_
  std::thread acceptor_;
};

}  // namespace pixhaul::apptest
