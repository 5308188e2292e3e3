// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TIdHeaderInfo: a record of typed HTTP header fields.
//
// The HTTP client keeps one for its request and one for the last reply. The request record
// writes its set fields as header lines (StoreToLines); the reply record is filled from the
// received lines (LoadFromLines), and every line it does not map stays as a raw line in
// ExtraHeaders. The record owns ExtraHeaders. Owned by one client and used on that client's
// thread only.
#pragma once

#include <cstdint>
#include <string>

#include "http/header_list.h"
#include "http/internet_date.h"

namespace pixhaul {

class TIdHTTP;

class TIdHeaderInfo {
 public:
  // The owner is not owned; it may be null. Runs Reset.
  explicit TIdHeaderInfo(TIdHTTP* owner = nullptr);

  std::string Accept;
  std::string AcceptCharSet;
  std::string AcceptEncoding;
  std::string AcceptLanguage;
  std::string Connection;
  std::string ContentEncoding;
  std::string ContentLanguage;
  // The Content-Length value as a signed 32-bit number; 0 when absent, not a number or out of
  // range. A written "Content-Length: 0" and a missing header both leave 0, so the reply also
  // records whether the header carried a number at all and the value text as received.
  int32_t ContentLength = 0;
  // True when the last loaded Content-Length line held a decimal integer (any sign, any size).
  bool HasContentLength = false;
  // The Content-Length value exactly as received (leading blanks removed); empty when absent.
  std::string ContentLengthText;
  uint32_t ContentRangeEnd = 0;
  uint32_t ContentRangeStart = 0;
  std::string ContentType;
  std::string ContentVersion;
  TDateTime Date = 0;
  TDateTime Expires = 0;
  std::string From;
  TDateTime LastModified = 0;
  std::string Location;
  std::string Password;
  std::string ProxyAuthenticate;
  std::string ProxyPassword;
  int32_t ProxyPort = 0;
  std::string ProxyServer;
  std::string ProxyUsername;
  std::string Referer;
  std::string Server;
  std::string UserAgent;
  std::string Username;
  std::string WWWAuthenticate;

  TIdHTTP* Owner() const { return owner_; }
  const TIdHeaderList& ExtraHeaders() const { return extraHeaders_; }
  TIdHeaderList& ExtraHeaders() { return extraHeaders_; }
  // Copies the lines of `headers` into the owned list.
  void SetExtraHeaders(const TIdHeaderList& headers) { extraHeaders_.Assign(headers); }

  // Sets the request defaults (Accept "text/html, */*", the client's own User-Agent), clears
  // the reply fields and ExtraHeaders; AcceptEncoding, AcceptLanguage, From, Password, Referer
  // and Username keep their values.
  void Reset();

  // Clears `list` and appends one line per set field in the fixed order, then the Range,
  // Authorization and Proxy-Authorization lines when they apply, then ExtraHeaders unchanged.
  void StoreToLines(TIdHeaderList& list) const;

  // Fills the mapped fields from `list`, removing the first line of each mapped name (with its
  // continuations) from it, and appends every remaining line to ExtraHeaders. Raises
  // EConvertError for a Content-Range bound that is not a number (the fields read before it
  // are already set) and what LocalUtcOffset raises.
  void LoadFromLines(TIdHeaderList& list);

 private:
  TIdHTTP* owner_;
  TIdHeaderList extraHeaders_;
};

}  // namespace pixhaul
