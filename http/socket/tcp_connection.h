// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TIdTCPConnection: a buffered byte-stream connection over one socket, with an optional
// intercept (the TLS layer) that can take over receiving and sending.
//
// The connection owns its socket handle, its input buffer (bytes received and not yet consumed)
// and its receive area; it does not own its intercept. It is created, used and destroyed on one
// thread. There is no write buffering: every write has handed its bytes to the socket (or the
// intercept) when it returns.
//
// Time limits: a wait the callers ask to be without limit (timeout -2) still gives up after
// ReadTimeoutMs() with no byte arriving, and also when a reply trickles: fewer than 1,024 bytes
// in any span of twice ReadTimeoutMs() since the last send (ReadGuard()). Either way the
// connection is closed and EIdReadTimeout "Read timed out." raised; so is it once the guard's
// deadline has passed (ReadGuard().SetDeadline), however fast bytes come. Connecting
// (TIdTCPClient) gives up after ConnectTimeoutMs() with EIdSocketError 10060, or at that
// deadline with EIdReadTimeout. Both limits start from process-wide defaults (30000 ms) that
// tests may lower.
//
// A line longer than kMaxLineLength without its terminator raises EIdLimitExceeded "Reply line
// too long." after closing the connection and freeing the buffered bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "framework/stream.h"
#include "http/socket/component.h"
#include "http/socket/connection_intercept.h"
#include "http/socket/input_buffer.h"
#include "http/socket/read_rate_guard.h"
#include "http/socket/socket_handle.h"

namespace pixhaul {

inline constexpr int kDefaultRecvBufferSize = 32768;
inline constexpr int kDefaultSendBufferSize = 32768;
inline constexpr size_t kMaxLineLength = 100 * 1024;
inline constexpr int kDefaultConnectTimeoutMs = 30000;
inline constexpr int kDefaultReadTimeoutMs = 30000;
inline constexpr int kWaitForever = -2;
// No size limit for ReadIntoStream.
inline constexpr int64_t kNoBodyLimit = -1;
// The most a counted read sizes its stream to before the bytes arrive; a longer body grows
// the stream as it comes in.
inline constexpr int64_t kMaxStreamPresize = 4 * 1024 * 1024;
// The most one receive of ReadIntoStream asks for when its stream lends storage: large enough
// that a fast sender is drained in few calls, small enough to stay in the processor's cache on
// its way on to a file.
inline constexpr int kDirectReceiveBytes = 256 * 1024;

class TIdTCPConnection : public TIdComponent, private TIdInterceptUser {
 public:
  using TNotifyEvent = std::function<void(TIdTCPConnection& sender)>;

  TIdTCPConnection();
  ~TIdTCPConnection() override;

  // Process-wide starting values of ConnectTimeoutMs/ReadTimeoutMs for connections created
  // afterwards (for tests that must not wait 30 s). Thread-safe.
  static void SetDefaultTimeouts(int connectMs, int readMs);
  static int DefaultConnectTimeoutMs();
  static int DefaultReadTimeoutMs();

  int ConnectTimeoutMs() const { return connectTimeoutMs_; }
  void SetConnectTimeoutMs(int value) { connectTimeoutMs_ = value; }
  int ReadTimeoutMs() const { return readTimeoutMs_; }
  void SetReadTimeoutMs(int value) {
    readTimeoutMs_ = value;
    readGuard_.SetReadTimeoutMs(value);
  }
  // The limits of the current read: restarted by every send and every connect, fed by every
  // receive (by the intercept instead when it receives itself).
  TIdReadRateGuard& ReadGuard() { return readGuard_; }

  bool ASCIIFilter = false;
  TNotifyEvent OnDisconnected;

  TIdSocketHandle& SocketHandle() { return socketHandle_; }
  // Received bytes not yet consumed. Appending is fine; take bytes out only through the
  // connection (TakeFromInput, ReadLine, ReadIntoStream), which keeps its line search in step.
  TIdBuffer& InputBuffer() { return inputBuffer_; }
  bool PeerClosed() const { return peerClosed_; }
  bool LineTimedOut() const { return lineTimedOut_; }

  TIdConnectionIntercept* Intercept() const { return intercept_; }
  // Stores the reference and registers for the intercept's destruction; none also disables it.
  void SetIntercept(TIdConnectionIntercept* intercept);
  bool InterceptEnabled() const { return interceptEnabled_; }
  // Raises EIdInterceptPropIsNil when enabling without an intercept.
  void SetInterceptEnabled(bool value);

  int RecvBufferSize() const { return recvBufferSize_; }
  void SetRecvBufferSize(int value);
  int SendBufferSize() const { return sendBufferSize_; }
  void SetSendBufferSize(int value) { sendBufferSize_ = value; }

  // CheckPeerClosed(false, false), then whether a socket is open.
  bool IsConnected();
  // When the peer closed or no socket is open: closes an open socket and, if raiseIfClosed and
  // (the input buffer is empty or ignoreBuffer), raises EIdConnClosedGracefully.
  void CheckPeerClosed(bool raiseIfClosed, bool ignoreBuffer);
  // Closes an open socket (status notifications, OnDisconnected), then detaches the intercept.
  virtual void CloseConnection();
  // A 1 ms receive: notices a peer's close; arriving bytes stay buffered.
  void PollPeerClosed(bool raiseIfClosed);
  // The single point where bytes come in. Waits up to timeoutMs (kWaitForever: as long as
  // ReadGuard() allows, then EIdReadTimeout) and receives at most the destination's size (the
  // receive area when destination is null). Returns the count received, 0 when nothing was
  // readable or the peer closed. Raises EIdConnClosedGracefully, EIdSocketError.
  int ReceiveBlock(bool raiseIfClosed, int timeoutMs, TIdBuffer* destination, bool appendToInput);
  // The same receive into `capacity` bytes at `bytes`, counted by NotifyWork and not appended
  // to the input buffer: a body lands straight in the storage its stream lends.
  int ReceiveBlock(bool raiseIfClosed, int timeoutMs, char* bytes, int capacity);
  // Reads up to the terminator (an empty one means LF, and a CR before it is dropped). Returns
  // "" with LineTimedOut() true when the wait ended without a line.
  std::string ReadLine(const std::string& terminator = "", int timeoutMs = kWaitForever);
  // Reads byteCount bytes (or until the peer closes) into `stream` at its position. -1 without
  // untilClose first reads a 4-byte count in network order. Bytes already buffered are written
  // first; the rest is received straight into the storage the stream lends (ReserveForWrite),
  // never more than the body has left, or through the receive area for a stream that lends
  // none. When maxBytes is not kNoBodyLimit
  // and more bytes would be stored, closes the connection and raises EIdLimitExceeded "Reply
  // body too large.". Raises EIdConnClosedGracefully when a counted read is cut short.
  void ReadIntoStream(TStream& stream, int64_t byteCount, bool untilClose,
                      int64_t maxBytes = kNoBodyLimit);
  // Closes the connection, frees the buffered bytes and raises EIdLimitExceeded with `message`:
  // what a reply that broke one of its bounds ends in.
  [[noreturn]] void FailLimit(const char* message);
  // Raises EIdNotEnoughDataInBuffer when fewer than count bytes are buffered.
  std::string TakeFromInput(size_t count);
  void WriteText(const std::string& text);
  void WriteLine(const std::string& text);
  void SendBytes(const void* bytes, int count);
  // Clears the socket's addresses (closing nothing), empties the input buffer, PeerClosed false.
  void ResetState();

 protected:
  // Where the bytes of one receive go.
  enum class Landing {
    kCounted,       // stay where they were received; counted by NotifyWork
    kAppendCopy,    // copied to the end of the input buffer
    kInputInPlace,  // received into room the input buffer lent at its end
  };
  // Waits, as ReceiveBlock does, until the socket (or the intercept) has bytes to read; false
  // when the connection is closed or a limited wait ran out.
  bool WaitForReceive(bool raiseIfClosed, int timeoutMs);
  // Everything ReceiveBlock does once the socket is known to be readable (or the wait skipped).
  int ReceiveReady(bool raiseIfClosed, char* bytes, int capacity, Landing landing);

 private:
  void InterceptDestroyed(TIdConnectionIntercept* intercept) override;
  bool InterceptReceives() const;
  bool InterceptSends() const;

  TIdSocketHandle socketHandle_;
  TIdBuffer inputBuffer_;
  TIdBuffer receiveArea_;
  bool peerClosed_ = false;
  TIdConnectionIntercept* intercept_ = nullptr;
  bool interceptEnabled_ = false;
  bool lineTimedOut_ = false;
  int recvBufferSize_ = kDefaultRecvBufferSize;
  int sendBufferSize_ = kDefaultSendBufferSize;
  int connectTimeoutMs_;
  int readTimeoutMs_;
  TIdReadRateGuard readGuard_;
  // Unconsumed input bytes already searched for the current terminator without success.
  size_t lineSearched_ = 0;
  std::string lineSearchTerminator_;
};

}  // namespace pixhaul
