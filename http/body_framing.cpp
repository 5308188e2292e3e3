// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "http/body_framing.h"

#include <optional>

#include "framework/ascii_text.h"
#include "framework/exception.h"
#include "framework/integer_text.h"

namespace pixhaul {

namespace {

// Whether any Transfer-Encoding line of the reply names chunked.
bool IsChunked(const TIdHeaderInfo& reply) {
  const TIdHeaderList& extra = reply.ExtraHeaders();
  for (int i = 0; i < extra.Count(); ++i) {
    if (SameText(extra.NameAt(i), "TRANSFER-ENCODING") &&
        ContainsText(extra.ValueAt(i), "chunked")) {
      return true;
    }
  }
  return false;
}

// The declared Content-Length, -1 when there is none. The record holds the first
// Content-Length line; any further one stays among the extra lines. They must all say the same:
// with two different lengths there is no telling where the body ends.
int64_t ContentLength(TIdTCPConnection& connection, const TIdHeaderInfo& reply) {
  const std::string first(TrimBlanks(reply.ContentLengthText));
  const std::optional<int64_t> firstValue = ParseDecimal(first);
  std::string values = first;
  bool differ = false;
  const TIdHeaderList& extra = reply.ExtraHeaders();
  for (int i = 0; i < extra.Count(); ++i) {
    if (!SameText(extra.NameAt(i), "CONTENT-LENGTH")) continue;
    const std::string value(TrimBlanks(extra.ValueAt(i)));
    const std::optional<int64_t> other = ParseDecimal(value);
    differ = differ || (firstValue && other ? *firstValue != *other : first != value);
    values += ", " + value;
  }
  if (differ) {
    connection.CloseConnection();
    throw EIdInvalidContentLength(InvalidContentLengthMessage(values));
  }
  if (!firstValue) return -1;
  if (*firstValue < 0) {
    // Whatever follows has no known end; the connection cannot be used again.
    connection.CloseConnection();
    throw EIdInvalidContentLength(InvalidContentLengthMessage(reply.ContentLengthText));
  }
  return *firstValue;
}

// The size of a chunk size line: hexadecimal digits, then optionally blanks or tabs and a ";"
// that begins the chunk's extensions (which are ignored). Empty when the line is not of that
// form. Sizes beyond 64 bits saturate, which the body bound then refuses.
std::optional<int64_t> ParseChunkSize(const std::string& line) {
  constexpr int64_t kMax = INT64_MAX;
  int64_t value = 0;
  size_t at = 0;
  for (; at < line.size(); ++at) {
    const int digit = DigitValue(line[at], 16);
    if (digit < 0) break;
    value = value > (kMax - digit) / 16 ? kMax : value * 16 + digit;
  }
  if (at == 0) return std::nullopt;
  while (at < line.size() && IsSpaceOrTab(line[at])) ++at;
  if (at < line.size() && line[at] != ';') return std::nullopt;
  return value;
}

}  // namespace

BodyFraming::BodyFraming(TIdTCPConnection& connection, const TIdHeaderInfo& reply,
                         int64_t maxBodyBytes, size_t maxTrailerBytes)
    : connection_(connection), maxBodyBytes_(maxBodyBytes), maxTrailerBytes_(maxTrailerBytes) {
  if (IsChunked(reply)) {
    kind_ = Kind::kChunked;
    return;
  }
  declared_ = ContentLength(connection_, reply);
  if (declared_ > maxBodyBytes_) connection_.FailLimit(kReplyBodyTooLargeMessage);
  if (declared_ >= 0) kind_ = Kind::kCounted;
}

void BodyFraming::ReadInto(TStream& content) {
  switch (kind_) {
    case Kind::kChunked:
      ReadChunked(content);
      break;
    case Kind::kCounted:
      // An explicit "Content-Length: 0": the body is empty, the connection stays usable.
      if (declared_ > 0) connection_.ReadIntoStream(content, declared_, false);
      break;
    case Kind::kUntilClose:
      connection_.ReadIntoStream(content, -1, true, maxBodyBytes_);
      break;
  }
}

void BodyFraming::LeaveUnread() {
  if (declared_ != 0) connection_.CloseConnection();
}

void BodyFraming::ReadChunked(TStream& content) {
  // A body of a few bytes wrapped in endless size lines and extensions is as large as what
  // arrives for it, so the framing counts against the bound too.
  for (int64_t n = NextChunkLength(); n > 0; n = NextChunkLength()) {
    if (n > maxBodyBytes_ - received_) connection_.FailLimit(kReplyBodyTooLargeMessage);
    connection_.ReadIntoStream(content, n, false);
    received_ += n;
    // The chunk's data ends with its line end; anything else there means the size was wrong
    // and the bytes taken are not the chunk.
    const std::string end = ReadFramingLine();
    if (!end.empty()) FailFraming(end);
  }
  SkipTrailer();
}

std::string BodyFraming::ReadFramingLine() {
  std::string line = connection_.ReadLine();
  // The line end counts as two bytes whether it was CR LF or LF alone.
  received_ += static_cast<int64_t>(line.size()) + 2;
  if (received_ > maxBodyBytes_) connection_.FailLimit(kReplyBodyTooLargeMessage);
  return line;
}

int64_t BodyFraming::NextChunkLength() {
  const std::string line = ReadFramingLine();
  const std::optional<int64_t> size = ParseChunkSize(line);
  if (!size) FailFraming(line);
  return *size;
}

void BodyFraming::SkipTrailer() {
  // Trailer fields may follow the last chunk; the reply ends at the empty line after them, and
  // a kept-alive connection is left at the next reply.
  size_t trailerBytes = 0;
  for (std::string line = ReadFramingLine(); !line.empty(); line = ReadFramingLine()) {
    trailerBytes += line.size() + 2;
    if (trailerBytes > maxTrailerBytes_) connection_.FailLimit(kReplyHeaderTooLargeMessage);
  }
}

void BodyFraming::FailFraming(const std::string& text) {
  connection_.CloseConnection();
  throw EConvertError(InvalidIntegerMessage(text));
}

}  // namespace pixhaul
