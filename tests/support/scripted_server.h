// ScriptedServer: a loopback TCP server for tests that states byte for byte what a peer sends
// and records byte for byte what it receives.
//
// The server listens on 127.0.0.1 with a system-chosen port. Each accepted connection runs one
// Script on a thread of its own: connection i runs scripts[i] (or the last script again, with
// Options::repeatLastScript, for any number of connections). Every wait is bounded (a step that
// waits gives up after Options::stepTimeoutMs and ends its script as failed), and the destructor
// stops accepting, ends every script and joins every thread.
//
// TLS and other wrappers plug in through Options::makeTransport, called on the connection's
// thread right after accept with the accepted fd; the Transport it returns does every read and
// write of that connection. The server still owns and closes the fd.
//
// Thread use: construct, query and destroy from one (test) thread; the scripts run on the
// server's threads.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pixhaul::testing {

// The byte channel of one accepted connection.
class Transport {
 public:
  explicit Transport(int fd) : fd_(fd) {}
  virtual ~Transport() = default;
  int Fd() const { return fd_; }
  // True when Read would not block, within timeoutMs.
  virtual bool WaitReadable(int timeoutMs);
  // Socket-style results: a count, 0 at the peer's close, -1 on failure.
  virtual ssize_t Read(void* buffer, size_t size);
  // May write fewer bytes than asked; the caller loops.
  virtual ssize_t Write(const void* buffer, size_t size);
  // Ends the sending direction (a TLS transport sends its close alert first).
  virtual void ShutdownWrite();

 private:
  int fd_;
};

// One step of a connection's script.
struct ScriptStep {
  enum class Kind {
    kReceiveUntil,       // read until `text` has arrived (inclusive)
    kReceiveBytes,       // read until `count` more bytes have arrived
    kReceiveUntilClose,  // read until the peer closes
    kSend,               // send `text`
    kSendRepeated,       // send `text` over and over until `count` bytes went out
    kPause,              // sleep `count` milliseconds
    kShutdownWrite,      // end the sending direction (FIN), keep reading possible
    kClose,              // close the connection; later steps are skipped
    kReset,              // close with SO_LINGER 0 (the peer sees a reset)
    kCall,               // run `action` (for tests that need to sync with the script)
  };
  Kind kind;
  std::string text;
  uint64_t count = 0;
  std::function<void()> action;
};

// A connection's script, built by chaining: Script().ReceiveUntil("\r\n\r\n").Send(reply).Close().
// Without an explicit Close or Reset the connection is closed when the script ends.
class Script {
 public:
  Script& ReceiveUntil(std::string text);
  Script& ReceiveBytes(uint64_t count);
  Script& ReceiveUntilClose();
  Script& Send(std::string bytes);
  Script& SendRepeated(std::string chunk, uint64_t totalBytes);
  Script& Pause(int milliseconds);
  Script& ShutdownWrite();
  Script& Close();
  Script& Reset();
  Script& Call(std::function<void()> action);

  const std::vector<ScriptStep>& Steps() const { return steps_; }

 private:
  std::vector<ScriptStep> steps_;
};

class ScriptedServer {
 public:
  struct Options {
    // Accept any number of connections, each running the last script.
    bool repeatLastScript = false;
    // Bound of every waiting step.
    int stepTimeoutMs = 10000;
    // Listen backlog.
    int backlog = 64;
    // Makes the transport of an accepted fd; null means plain TCP.
    std::function<std::unique_ptr<Transport>(int fd)> makeTransport;
  };

  explicit ScriptedServer(std::vector<Script> scripts);
  ScriptedServer(std::vector<Script> scripts, Options options);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  int Port() const { return port_; }
  // Number of connections accepted so far.
  size_t AcceptedCount() const;
  // Waits (bounded) until `count` connections have finished their scripts; true when they did.
  bool WaitFinished(size_t count, int timeoutMs = 10000);
  // Everything connection `index` received so far, byte for byte ("" if not accepted yet).
  std::string Received(size_t index) const;
  // Whether connection `index` ran its whole script (false while running or after a failed
  // step; see Failure).
  bool Completed(size_t index) const;
  // Why connection `index`'s script stopped early, empty when it did not.
  std::string Failure(size_t index) const;

 private:
  struct Connection {
    int fd = -1;  // -1 once closed
    std::string received;
    bool finished = false;
    bool completed = false;
    std::string failure;
  };

  void AcceptLoop();
  void RunScript(size_t index, int fd);
  // Runs one step; returns an empty text or why it failed. Close and Reset destroy the
  // transport.
  std::string RunStep(size_t index, std::unique_ptr<Transport>& transport, std::string& pending,
                      const ScriptStep& step);
  void CloseConnectionFd(size_t index, bool reset);
  void Record(size_t index, const char* bytes, size_t count);
  bool Stopping() const { return stop_.load(); }

  std::vector<Script> scripts_;
  Options options_;
  int listenFd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::condition_variable finishedChanged_;
  std::vector<std::unique_ptr<Connection>> connections_;  // guarded by mutex_
  std::vector<std::thread> connectionThreads_;            // guarded by mutex_
  std::thread acceptThread_;
};

}  // namespace pixhaul::testing
