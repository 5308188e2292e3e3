// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "http/socket/tcp_connection.h"

#include <arpa/inet.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <span>
#include <string_view>

#include "framework/exception.h"
#include "http/socket/connection_exceptions.h"
#include "http/socket/socket_error.h"
#include "http/socket/socket_stack.h"

namespace pixhaul {
namespace {

std::atomic<int> gDefaultConnectTimeoutMs{kDefaultConnectTimeoutMs};
std::atomic<int> gDefaultReadTimeoutMs{kDefaultReadTimeoutMs};

}  // namespace

void TIdTCPConnection::SetDefaultTimeouts(int connectMs, int readMs) {
  gDefaultConnectTimeoutMs = connectMs;
  gDefaultReadTimeoutMs = readMs;
}

int TIdTCPConnection::DefaultConnectTimeoutMs() { return gDefaultConnectTimeoutMs; }
int TIdTCPConnection::DefaultReadTimeoutMs() { return gDefaultReadTimeoutMs; }

TIdTCPConnection::TIdTCPConnection()
    : connectTimeoutMs_(gDefaultConnectTimeoutMs),
      readTimeoutMs_(gDefaultReadTimeoutMs),
      readGuard_(readTimeoutMs_) {
  receiveArea_.SetSize(recvBufferSize_);
}

TIdTCPConnection::~TIdTCPConnection() {
  if (intercept_ != nullptr) {
    intercept_->RemoveFreeNotification(this);
    intercept_->ReleaseReadGuard(&readGuard_);
  }
}

void TIdTCPConnection::SetIntercept(TIdConnectionIntercept* intercept) {
  if (intercept == intercept_) return;
  if (intercept_ != nullptr) {
    intercept_->RemoveFreeNotification(this);
    intercept_->ReleaseReadGuard(&readGuard_);
  }
  intercept_ = intercept;
  if (intercept_ != nullptr) {
    intercept_->AddFreeNotification(this);
  } else {
    interceptEnabled_ = false;
  }
}

void TIdTCPConnection::InterceptDestroyed(TIdConnectionIntercept* intercept) {
  if (intercept != intercept_) return;
  intercept_ = nullptr;
  interceptEnabled_ = false;
}

void TIdTCPConnection::SetInterceptEnabled(bool value) {
  if (value && intercept_ == nullptr) throw EIdInterceptPropIsNil();
  interceptEnabled_ = value;
}

void TIdTCPConnection::SetRecvBufferSize(int value) {
  recvBufferSize_ = std::max(1, value);
  receiveArea_.SetSize(recvBufferSize_);
}

bool TIdTCPConnection::InterceptReceives() const {
  return interceptEnabled_ && intercept_ != nullptr && intercept_->HandlesReceive();
}

bool TIdTCPConnection::InterceptSends() const {
  return interceptEnabled_ && intercept_ != nullptr && intercept_->HandlesSend();
}

bool TIdTCPConnection::IsConnected() {
  CheckPeerClosed(false, false);
  return socketHandle_.HandleAllocated();
}

void TIdTCPConnection::CheckPeerClosed(bool raiseIfClosed, bool ignoreBuffer) {
  if (!peerClosed_ && socketHandle_.HandleAllocated()) return;
  if (socketHandle_.HandleAllocated()) CloseConnection();
  if (raiseIfClosed && (inputBuffer_.Empty() || ignoreBuffer)) throw EIdConnClosedGracefully();
}

void TIdTCPConnection::CloseConnection() {
  if (socketHandle_.HandleAllocated()) {
    NotifyStatus(TIdStatus::hsDisconnecting, socketHandle_.RemoteIP());
    socketHandle_.Release(true);
    peerClosed_ = true;
    NotifyStatus(TIdStatus::hsDisconnected, socketHandle_.RemoteIP());
    if (OnDisconnected) OnDisconnected(*this);
  }
  // The socket is gone before the intercept lets go of it: a TLS channel must not try to talk
  // on a connection that is being torn down.
  if (interceptEnabled_ && intercept_ != nullptr) intercept_->DetachFromSocket();
}

void TIdTCPConnection::PollPeerClosed(bool raiseIfClosed) {
  ReceiveBlock(raiseIfClosed, 1, nullptr, true);
}

int TIdTCPConnection::ReceiveBlock(bool raiseIfClosed, int timeoutMs, TIdBuffer* destination,
                                   bool appendToInput) {
  if (!WaitForReceive(raiseIfClosed, timeoutMs)) return 0;
  if (destination != nullptr) {
    return ReceiveReady(raiseIfClosed, destination->Memory(), static_cast<int>(destination->Size()),
                        appendToInput ? Landing::kAppendCopy : Landing::kCounted);
  }
  if (!appendToInput) {
    return ReceiveReady(raiseIfClosed, receiveArea_.Memory(), static_cast<int>(receiveArea_.Size()),
                        Landing::kCounted);
  }
  // Received bytes land at the end of the input buffer itself rather than being received into
  // the receive area and copied there.
  inputBuffer_.SetPosition(inputBuffer_.Size());
  const std::span<char> room = inputBuffer_.ReserveForWrite(static_cast<size_t>(recvBufferSize_));
  return ReceiveReady(raiseIfClosed, room.data(), static_cast<int>(room.size()),
                      Landing::kInputInPlace);
}

int TIdTCPConnection::ReceiveBlock(bool raiseIfClosed, int timeoutMs, char* bytes, int capacity) {
  if (!WaitForReceive(raiseIfClosed, timeoutMs)) return 0;
  return ReceiveReady(raiseIfClosed, bytes, capacity, Landing::kCounted);
}

bool TIdTCPConnection::WaitForReceive(bool raiseIfClosed, int timeoutMs) {
  CheckPeerClosed(raiseIfClosed, false);
  if (!IsConnected()) return false;
  // Past the deadline no read goes on, not even one whose bytes are already there: a peer that
  // keeps sending must not keep the reader.
  if (timeoutMs < 0 && readGuard_.DeadlinePassed()) {
    CloseConnection();
    throw EIdReadTimeout();
  }
  // Bytes an intercept already holds (the rest of a TLS record) never show on the socket.
  const bool held = InterceptReceives() && intercept_->PendingBytes() > 0;
  if (!held) {
    if (timeoutMs >= 0) {
      if (!socketHandle_.IsReadable(timeoutMs)) return false;
    } else if (!socketHandle_.IsReadable(readGuard_.WaitLimitMs())) {
      // Silent for the read limit, or trickling: once the guard's time is up the wait is a
      // mere look, so bytes that are already there (a reader that was slow itself) still count.
      CloseConnection();
      throw EIdReadTimeout();
    }
  }
  return true;
}

int TIdTCPConnection::ReceiveReady(bool raiseIfClosed, char* bytes, int capacity, Landing landing) {
  int n = InterceptReceives() ? intercept_->ReceiveThrough(bytes, capacity)
                              : socketHandle_.Receive(bytes, capacity, 0);
  peerClosed_ = n == 0;
  if (n > 0 && !InterceptReceives()) readGuard_.Count(static_cast<uint64_t>(n));
  // The intercept reads on the socket itself, bounded by the read guard; running out of time
  // there (a TLS record that stalls or trickles) is the same as waiting in vain here.
  if (n < 0 && InterceptReceives() && TIdStack::LastError() == kWsaETimedOut) {
    CloseConnection();
    throw EIdReadTimeout();
  }
  if (n != 0 && SharedStack().TestSocketResult(n, {kWsaEShutdown})) {
    n = 0;
    if (socketHandle_.HandleAllocated()) CloseConnection();
    if (inputBuffer_.Empty()) ThrowSocketError(kWsaEShutdown);
  }
  if (ASCIIFilter) {
    for (int i = 0; i < n; ++i) bytes[i] = static_cast<char>(bytes[i] & 0x7F);
  }
  switch (landing) {
    case Landing::kCounted:
      NotifyWork(TWorkMode::wmRead, n);
      break;
    case Landing::kAppendCopy:
      inputBuffer_.Append(bytes, static_cast<size_t>(n));
      break;
    case Landing::kInputInPlace:
      inputBuffer_.CommitWrite(static_cast<size_t>(n));
      break;
  }
  if (interceptEnabled_ && intercept_ != nullptr) intercept_->AfterReceive(bytes, n);
  CheckPeerClosed(raiseIfClosed, false);
  return n;
}

std::string TIdTCPConnection::ReadLine(const std::string& terminator, int timeoutMs) {
  const std::string term = terminator.empty() ? std::string("\n") : terminator;
  lineTimedOut_ = false;
  if (term != lineSearchTerminator_) {
    lineSearchTerminator_ = term;
    lineSearched_ = 0;
  }
  size_t at = std::string_view::npos;
  for (;;) {
    const size_t length = inputBuffer_.Length();
    if (length > 0) {
      // Only the bytes that arrived since the last search are new; the tail of the searched
      // part is searched again in case a terminator straddles the boundary.
      const std::string_view held(inputBuffer_.Data(), length);
      at = held.find(term, std::min(lineSearched_, length));
      if (at != std::string_view::npos) break;
      lineSearched_ = length >= term.size() ? length - term.size() + 1 : 0;
      if (length > kMaxLineLength + term.size()) FailLimit(kReplyLineTooLongMessage);
    }
    CheckPeerClosed(true, true);
    if (ReceiveBlock(true, timeoutMs, nullptr, true) == 0) {
      lineTimedOut_ = true;
      return {};
    }
  }
  size_t lineLength = at;
  const bool dropCr = terminator.empty() && at > 0 && inputBuffer_.Data()[at - 1] == '\r';
  if (dropCr) --lineLength;
  if (lineLength > kMaxLineLength) FailLimit(kReplyLineTooLongMessage);
  std::string line = TakeFromInput(at + term.size());
  line.resize(lineLength);
  return line;
}

void TIdTCPConnection::FailLimit(const char* message) {
  CloseConnection();
  inputBuffer_.Clear();
  lineSearched_ = 0;
  throw EIdLimitExceeded(message);
}

std::string TIdTCPConnection::TakeFromInput(size_t count) {
  std::string text = inputBuffer_.Extract(count);
  lineSearched_ = lineSearched_ > count ? lineSearched_ - count : 0;
  NotifyWork(TWorkMode::wmRead, static_cast<int64_t>(count));
  return text;
}

void TIdTCPConnection::ReadIntoStream(TStream& stream, int64_t byteCount, bool untilClose,
                                      int64_t maxBytes) {
  if (byteCount == -1 && !untilClose) {
    while (inputBuffer_.Length() < 4) {
      // A close with one to three bytes buffered raises nothing inside ReceiveBlock.
      if (ReceiveBlock(true, kWaitForever, nullptr, true) == 0 && !IsConnected()) {
        throw EIdConnClosedGracefully();
      }
    }
    const std::string prefix = TakeFromInput(4);
    uint32_t networkOrder;
    std::memcpy(&networkOrder, prefix.data(), 4);
    byteCount = static_cast<int32_t>(ntohl(networkOrder));
  }
  // A negative count cannot be stored; nothing is read for it.
  if (byteCount < 0 && !untilClose) throw EWriteError(kStreamWriteError);
  const bool limited = maxBytes != kNoBodyLimit;
  if (limited && !untilClose && byteCount > maxBytes) FailLimit(kReplyBodyTooLargeMessage);
  // A declared count is only a claim until its bytes arrive: sizing the stream for all of it at
  // once would let a peer that announces a huge body and goes silent hold that much address
  // space per connection. Beyond kMaxStreamPresize the stream grows as the bytes come in.
  if (byteCount >= 0) stream.SetSize(stream.Position() + std::min(byteCount, kMaxStreamPresize));

  NotifyWorkBegin(TWorkMode::wmRead, untilClose ? 0 : byteCount);
  try {
    // A body read until close has no count; 64 bits leave no realistic body cut short.
    int64_t remaining = untilClose ? std::numeric_limits<int64_t>::max() : byteCount;
    int64_t stored = 0;
    auto store = [&](const char* bytes, int64_t count) {
      if (limited && stored + count > maxBytes) FailLimit(kReplyBodyTooLargeMessage);
      stream.Write(bytes, static_cast<size_t>(count));
      stored += count;
      remaining -= count;
    };
    const int64_t buffered = std::min<int64_t>(inputBuffer_.Length(), remaining);
    if (buffered > 0) {
      store(inputBuffer_.Data(), buffered);
      inputBuffer_.Remove(static_cast<size_t>(buffered));
      lineSearched_ = 0;
    }
    while (IsConnected() && remaining > 0) {
      // Never more than the body has left: bytes beyond it belong to the next reply.
      const int wanted = static_cast<int>(std::min<int64_t>(remaining, kDirectReceiveBytes));
      const std::span<char> room = stream.ReserveForWrite(static_cast<size_t>(wanted));
      if (!room.empty()) {
        // The bytes land in the stream's own storage and become part of it only once the
        // bound has let them in.
        const int n =
            ReceiveBlock(!untilClose, kWaitForever, room.data(), static_cast<int>(room.size()));
        if (n > 0) {
          if (limited && stored + n > maxBytes) FailLimit(kReplyBodyTooLargeMessage);
          stream.CommitWrite(static_cast<size_t>(n));
          stored += n;
          remaining -= n;
        }
        continue;
      }
      const int capacity = std::min(wanted, static_cast<int>(receiveArea_.Size()));
      const int n = ReceiveBlock(!untilClose, kWaitForever, receiveArea_.Memory(), capacity);
      if (n > 0) store(receiveArea_.Memory(), n);
    }
    // A connection that was already closed never reaches ReceiveBlock's check; a counted
    // body that came up short must not pass for a whole one.
    if (!untilClose && remaining > 0) throw EIdConnClosedGracefully();
  } catch (...) {
    NotifyWorkEnd(TWorkMode::wmRead);
    throw;
  }
  NotifyWorkEnd(TWorkMode::wmRead);
  if (stream.Size() > stream.Position()) stream.SetSize(stream.Position());
}

void TIdTCPConnection::WriteText(const std::string& text) {
  if (text.empty()) return;
  SendBytes(text.data(), static_cast<int>(text.size()));
}

void TIdTCPConnection::WriteLine(const std::string& text) { WriteText(text + "\r\n"); }

void TIdTCPConnection::SendBytes(const void* bytes, int count) {
  if (count <= 0 || bytes == nullptr) return;
  CheckPeerClosed(true, true);
  // What is read next answers what is sent now: its time limits start here.
  readGuard_.Restart();
  const char* data = static_cast<const char*>(bytes);
  int position = 0;
  while (position < count) {
    const char* from = data + position;
    const int left = count - position;
    const int n =
        InterceptSends() ? intercept_->SendThrough(from, left) : socketHandle_.Send(from, left, 0);
    peerClosed_ = n == 0;
    CheckPeerClosed(true, false);
    // A send that moved nothing would repeat for ever; the peer is gone.
    if (n == 0) throw EIdConnClosedGracefully();
    if (SharedStack().TestSocketResult(n, {kWsaEShutdown})) {
      CloseConnection();
      ThrowSocketError(kWsaEShutdown);
    }
    NotifyWork(TWorkMode::wmWrite, n);
    if (interceptEnabled_ && intercept_ != nullptr) intercept_->AfterSend(from, left);
    position += n;
  }
}

void TIdTCPConnection::ResetState() {
  socketHandle_.Clear(true);
  inputBuffer_.Clear();
  lineSearched_ = 0;
  peerClosed_ = false;
  readGuard_.Restart();
}

}  // namespace pixhaul
