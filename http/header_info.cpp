// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "http/header_info.h"

#include <limits>
#include <utility>

#include "framework/ascii_text.h"
#include "framework/exception.h"
#include "framework/integer_text.h"
#include "http/base64.h"

namespace pixhaul {

namespace {

constexpr const char* kDefaultAccept = "text/html, */*";
constexpr const char* kDefaultUserAgent = "Mozilla/3.0 (compatible; Pixhaul HTTP client)";

void AddIfSet(TIdHeaderList& list, const char* name, const std::string& value) {
  if (!value.empty()) list.Add(std::string(name) + ": " + value);
}

// A Content-Range bound: a decimal number that fits the unsigned 32-bit field.
uint32_t RangeBound(const std::string& text) {
  const auto value = ParseDecimal(text);
  if (!value || *value < 0 || *value > std::numeric_limits<uint32_t>::max()) {
    throw EConvertError(InvalidIntegerMessage(text));
  }
  return static_cast<uint32_t>(*value);
}

// Reads the first line named `name` and removes it (with its continuations) from `list`.
std::string TakeValue(TIdHeaderList& list, const char* name) {
  std::string value = list.ValueOf(name);
  list.StoreValue(name, std::string());
  return value;
}

}  // namespace

TIdHeaderInfo::TIdHeaderInfo(TIdHTTP* owner) : owner_(owner) { Reset(); }

void TIdHeaderInfo::Reset() {
  Accept = kDefaultAccept;
  AcceptCharSet.clear();
  Connection.clear();
  ContentEncoding.clear();
  ContentLanguage.clear();
  ContentLength = 0;
  HasContentLength = false;
  ContentLengthText.clear();
  ContentRangeEnd = 0;
  ContentRangeStart = 0;
  ContentType.clear();
  ContentVersion.clear();
  Date = 0;
  Expires = 0;
  extraHeaders_.Clear();
  LastModified = 0;
  Location.clear();
  ProxyAuthenticate.clear();
  ProxyPassword.clear();
  ProxyPort = 0;
  ProxyServer.clear();
  ProxyUsername.clear();
  Server.clear();
  UserAgent = kDefaultUserAgent;
  WWWAuthenticate.clear();
}

void TIdHeaderInfo::StoreToLines(TIdHeaderList& list) const {
  list.Clear();
  AddIfSet(list, "Accept", Accept);
  AddIfSet(list, "Accept-Charset", AcceptCharSet);
  AddIfSet(list, "Accept-Encoding", AcceptEncoding);
  AddIfSet(list, "Accept-Language", AcceptLanguage);
  AddIfSet(list, "From", From);
  AddIfSet(list, "Referer", Referer);
  AddIfSet(list, "User-Agent", UserAgent);
  AddIfSet(list, "Connection", Connection);
  AddIfSet(list, "Content-Version", ContentVersion);
  AddIfSet(list, "Content-Encoding", ContentEncoding);
  AddIfSet(list, "Content-Language", ContentLanguage);
  AddIfSet(list, "Content-Type", ContentType);
  if (ContentLength != 0) list.Add("Content-Length: " + std::to_string(ContentLength));
  if (ContentRangeStart != 0 || ContentRangeEnd != 0) {
    std::string range = "Range: bytes=" + std::to_string(ContentRangeStart) + "-";
    if (ContentRangeEnd != 0) range += std::to_string(ContentRangeEnd);
    list.Add(std::move(range));
  }
  if (!Username.empty()) {
    list.Add("Authorization: Basic " + EncodeBase64(Username + ":" + Password));
  }
  if (!ProxyServer.empty() && !ProxyUsername.empty()) {
    list.Add("Proxy-Authorization: Basic " + EncodeBase64(ProxyUsername + ":" + ProxyPassword));
  }
  list.AddStrings(extraHeaders_);
}

void TIdHeaderInfo::LoadFromLines(TIdHeaderList& list) {
  extraHeaders_.Clear();
  Location = TakeValue(list, "Location");
  Server = TakeValue(list, "Server");
  Connection = TakeValue(list, "Connection");
  ContentVersion = TakeValue(list, "Content-Version");
  WWWAuthenticate = TakeValue(list, "WWW-Authenticate");
  ContentEncoding = TakeValue(list, "Content-Encoding");
  ContentLanguage = TakeValue(list, "Content-Language");
  ContentType = TakeValue(list, "Content-Type");

  // Servers may pad the value with blanks; the text as received is kept for error messages.
  ContentLengthText = TakeValue(list, "Content-Length");
  const std::string lengthDigits(TrimBlanks(ContentLengthText));
  HasContentLength = ParseDecimal(lengthDigits).has_value();
  const auto length = ParseInt32(lengthDigits);
  ContentLength = length ? *length : 0;

  std::string range = TakeValue(list, "Content-Range");
  if (!range.empty()) {
    Fetch(range, ' ');  // the unit, e.g. "bytes"
    ContentRangeStart = RangeBound(Fetch(range, '-'));
    ContentRangeEnd = RangeBound(Fetch(range, '/'));
  }

  Date = InternetDateToLocal(TakeValue(list, "Date"));
  LastModified = InternetDateToLocal(TakeValue(list, "Last-Modified"));
  Expires = InternetDateToLocal(TakeValue(list, "Expires"));
  ProxyAuthenticate = TakeValue(list, "Proxy-Authenticate");

  extraHeaders_.AddStrings(list);
}

}  // namespace pixhaul
