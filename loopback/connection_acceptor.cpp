// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "loopback/connection_acceptor.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace pixhaul::loopback {

namespace {

// The longest a wait goes without looking at the clock again.
constexpr int64_t kPollSliceMs = 1000;

// Rounded up, so that a wait ends no sooner than `until`.
int64_t MillisecondsLeft(ConnectionAcceptor::Clock::time_point until) {
  return std::chrono::ceil<std::chrono::milliseconds>(until - ConnectionAcceptor::Clock::now())
      .count();
}

}  // namespace

ConnectionAcceptor::ConnectionAcceptor(std::vector<LoopbackListener> listeners, Admit admit,
                                       Options options)
    : listeners_(std::move(listeners)),
      admit_(std::move(admit)),
      options_(options),
      deadline_(Clock::now() + options.lifetime) {
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd_ < 0) throw std::runtime_error("eventfd() failed");
  // OpenSSL writes with write(), which raises SIGPIPE when a client has gone. The accept thread
  // starts with SIGPIPE blocked and the connection threads it starts inherit that, so such a
  // write just fails with EPIPE.
  sigset_t pipeSignal;
  sigset_t previous;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

ConnectionAcceptor::~ConnectionAcceptor() {
  Stop();
  ::close(wakeFd_);
}

void ConnectionAcceptor::Wake() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
}

void ConnectionAcceptor::StopAccepting() {
  std::lock_guard stopLock(stopMutex_);
  if (acceptStopped_) return;
  acceptStopped_ = true;
  stopping_ = true;
  Wake();
  if (acceptThread_.joinable()) acceptThread_.join();
}

void ConnectionAcceptor::Stop() {
  StopAccepting();
  std::list<ConnectionThread> remaining;
  {
    std::lock_guard lock(connectionsMutex_);
    remaining.swap(connections_);
  }
  for (ConnectionThread& connection : remaining) connection.thread.join();
}

void ConnectionAcceptor::AcceptLoop() {
  std::vector<pollfd> fds;
  for (const LoopbackListener& listener : listeners_) fds.push_back({listener.Fd(), POLLIN, 0});
  fds.push_back({wakeFd_, POLLIN, 0});
  while (!Stopping()) {
    const int64_t left = MillisecondsLeft(deadline_);
    if (left <= 0) break;
    for (pollfd& fd : fds) fd.revents = 0;
    const int ready =
        ::poll(fds.data(), fds.size(), static_cast<int>(std::min(left, kPollSliceMs)));
    ReapFinished();
    if (ready <= 0) continue;
    if (fds.back().revents != 0) break;
    for (size_t i = 0; i < listeners_.size(); ++i) {
      if ((fds[i].revents & POLLIN) == 0) continue;
      const int fd = listeners_[i].Accept(options_.nonBlocking);
      if (fd < 0) continue;
      Work work = admit_(fd, i);
      if (!work) continue;
      std::lock_guard lock(connectionsMutex_);
      ConnectionThread& connection = connections_.emplace_back();
      connection.thread = std::thread([work = std::move(work), &connection] {
        work();
        connection.done = true;
      });
    }
  }
  // An acceptor past its lifetime stops by itself: every connection's waits end.
  stopping_ = true;
  Wake();
}

void ConnectionAcceptor::ReapFinished() {
  std::list<ConnectionThread> finished;
  {
    std::lock_guard lock(connectionsMutex_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      const auto next = std::next(it);
      if (it->done) finished.splice(finished.end(), connections_, it);
      it = next;
    }
  }
  for (ConnectionThread& connection : finished) connection.thread.join();
}

bool ConnectionAcceptor::WaitFor(int fd, short events, Clock::time_point until) const {
  until = std::min(until, deadline_);
  for (;;) {
    const int64_t left = MillisecondsLeft(until);
    if (left <= 0) return false;
    pollfd fds[2] = {{fd, events, 0}, {wakeFd_, POLLIN, 0}};
    const int ready = ::poll(fds, 2, static_cast<int>(std::min(left, kPollSliceMs)));
    if (ready < 0 && errno != EINTR) return false;
    if (fds[1].revents != 0) return false;
    if (fds[0].revents != 0) return true;
  }
}

}  // namespace pixhaul::loopback
