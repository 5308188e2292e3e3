// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// BodyFraming: how the body of one reply is delimited on the wire - by the chunked transfer
// coding, by a counted Content-Length, or by the connection's close - and the reading of it off
// the connection into the caller's stream.
//
// It is made from the reply's header record once the header block is read, and reads from the
// connection it is given, which it neither owns nor outlives; it is used on the connection's
// thread for one reply. Chunked framing wins over any Content-Length, which is then not even
// looked at. Whatever a reply is refused for, the connection is closed first: the rest of the
// body is unread and must not be taken for the next reply.
//
// Bounds: the body may not exceed maxBodyBytes (for a chunked body every byte of it counts -
// sizes, extensions and line ends as well as the data), nor a chunked body's trailer
// maxTrailerBytes; either ends the read with EIdLimitExceeded.
//
// Tests: tests/http/http_client_body_test.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "framework/stream.h"
#include "http/header_info.h"
#include "http/socket/connection_exceptions.h"
#include "http/socket/tcp_connection.h"

namespace pixhaul {

inline constexpr const char* kInvalidContentLengthPrefix = "Invalid Content-Length: ";

// A reply declared a negative Content-Length, or several that differ; raised with
// InvalidContentLengthMessage of the value as received (the differing values, separated by
// ", ").
PIXHAUL_EXCEPTION(EIdInvalidContentLength, EIdException);
inline std::string InvalidContentLengthMessage(const std::string& value) {
  return kInvalidContentLengthPrefix + value;
}

class BodyFraming {
 public:
  enum class Kind { kChunked, kCounted, kUntilClose };

  // Reads the framing from `reply`. Raises EIdInvalidContentLength for a negative Content-Length
  // or for several that differ, and EIdLimitExceeded "Reply body too large." for a declared
  // length above maxBodyBytes.
  BodyFraming(TIdTCPConnection& connection, const TIdHeaderInfo& reply, int64_t maxBodyBytes,
              size_t maxTrailerBytes);

  Kind Framing() const { return kind_; }
  // The Content-Length of a counted body; -1 for the other framings.
  int64_t DeclaredLength() const { return declared_; }

  // Reads the whole body into `content` at its position (the stream is not cut). Raises
  // EConvertError for a malformed chunk size line or a chunk longer than its size,
  // EIdConnClosedGracefully for a counted body cut short, EIdLimitExceeded, and whatever the
  // connection raises.
  void ReadInto(TStream& content);
  // For a reply taken without a stream: the body stays unread, so the connection is closed
  // unless the body is known to be empty.
  void LeaveUnread();

 private:
  void ReadChunked(TStream& content);
  // The size of the next chunk, from its size line.
  int64_t NextChunkLength();
  // Reads the trailer lines after the last chunk up to the empty line and drops them.
  void SkipTrailer();
  // Reads one framing line of a chunked body, counting it against the body bound.
  std::string ReadFramingLine();
  // Closes the connection and raises the number-format error for `text`.
  [[noreturn]] void FailFraming(const std::string& text);

  TIdTCPConnection& connection_;
  int64_t maxBodyBytes_;
  size_t maxTrailerBytes_;
  Kind kind_ = Kind::kUntilClose;
  int64_t declared_ = -1;
  // Bytes of a chunked body received so far, framing included.
  int64_t received_ = 0;
};

}  // namespace pixhaul
