// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "tests/support/fault_catalogue.h"

#include <array>

namespace pixhaul::test {

namespace {

struct KindInfo {
  FaultKind kind;
  std::string_view token;
  bool succeeds;
  bool allowsTls;
};

constexpr std::array<KindInfo, kFaultKindCount> kKinds{{
    {FaultKind::kImage, "ok", true, true},
    {FaultKind::kEmptyImage, "empty", true, false},
    {FaultKind::kNoContent, "nocontent", true, false},
    {FaultKind::kNotFound, "e404", false, true},
    {FaultKind::kForbidden, "e403", false, false},
    {FaultKind::kBadRequest, "e400", false, false},
    {FaultKind::kServerError, "e500", false, false},
    {FaultKind::kRedirectChain, "redir", true, true},
    {FaultKind::kRedirectToTls, "redirtls", true, false},
    {FaultKind::kRedirectLoop, "loop", false, false},
    {FaultKind::kChunked, "chunked", true, true},
    {FaultKind::kUntilClose, "close", true, false},
    {FaultKind::kResetMidBody, "reset", false, false},
    {FaultKind::kShortBody, "short", false, false},
    {FaultKind::kCloseBeforeStatus, "hangup", false, false},
    {FaultKind::kStallBeforeStatus, "stall", false, false},
    {FaultKind::kStallMidBody, "stallbody", false, false},
    {FaultKind::kSlowDrip, "drip", true, false},
    {FaultKind::kGarbageStatus, "garbage", false, false},
    {FaultKind::kLongHeaderLine, "longheader", false, false},
    {FaultKind::kEndlessBody, "endless", false, false},
    {FaultKind::kNegativeLength, "neglen", false, false},
    {FaultKind::kHugeDeclaredLength, "hugelen", false, false},
    {FaultKind::kHugeLengthStall, "hugestall", false, false},
    {FaultKind::kTlsHandshakeFails, "badtls", false, false},
    {FaultKind::kRefused, "refused", false, false},
    {FaultKind::kLongName, "longname", true, false},
    {FaultKind::kPartialContent, "partial", false, true},
    {FaultKind::kUserInformation, "userinfo", true, true},
    {FaultKind::kOtherScheme, "ftp", false, false},
}};

const KindInfo& Info(FaultKind kind) { return kKinds[static_cast<size_t>(kind)]; }

// Long enough that the file name passes the usual 255-byte limit of a file system, so it is
// saved under its shortened name.
constexpr size_t kLongNamePadding = 300;

// xorshift32: cheap, deterministic, and different for every n.
uint32_t NextRandom(uint32_t& state) {
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

}  // namespace

std::string_view FaultToken(FaultKind kind) { return Info(kind).token; }

bool FaultKindFromToken(std::string_view token, FaultKind& kind) {
  for (const KindInfo& info : kKinds) {
    if (info.token == token) {
      kind = info.kind;
      return true;
    }
  }
  return false;
}

bool FaultSucceeds(FaultKind kind) { return Info(kind).succeeds; }
bool FaultAllowsTls(FaultKind kind) { return Info(kind).allowsTls; }

std::string FaultImageBytes(int n) {
  const size_t size = 1024 + (static_cast<uint32_t>(n) * 7919u) % (60 * 1024);
  std::string bytes = "\x89PNG\r\n\x1a\n";
  bytes.reserve(size);
  uint32_t state = 2463534242u ^ static_cast<uint32_t>(n) * 2654435761u;
  if (state == 0) state = 1;
  while (bytes.size() < size) bytes.push_back(static_cast<char>(NextRandom(state) & 0xff));
  bytes.resize(size);
  return bytes;
}

std::string FaultLoopBody(int n, int hop) {
  return "redirect hop " + std::to_string(hop) + " of image " + std::to_string(n) + "\n";
}

std::string FaultAddress(const FaultEntry& entry, const FaultPorts& ports) {
  const bool tls = entry.tls && FaultAllowsTls(entry.kind);
  uint16_t port = tls ? ports.https : ports.http;
  std::string scheme = tls ? "https" : "http";
  if (entry.kind == FaultKind::kTlsHandshakeFails) {
    port = ports.badTls;
    scheme = "https";
  } else if (entry.kind == FaultKind::kRefused) {
    port = ports.refused;
  }
  std::string token(FaultToken(entry.kind));
  if (entry.kind == FaultKind::kLongName) token += "-" + std::string(kLongNamePadding, 'x');
  std::string userInformation;
  if (entry.kind == FaultKind::kUserInformation) userInformation = "ann:se@cret@";
  if (entry.kind == FaultKind::kOtherScheme) scheme = "ftp";
  return scheme + "://" + userInformation + "127.0.0.1:" + std::to_string(port) + "/img/" +
         std::to_string(entry.n) + "/" + token + ".png";
}

ExpectedOutcome FaultExpectation(const FaultEntry& entry, const ClientLimits& limits) {
  ExpectedOutcome out;
  auto fail = [&out](std::string message) {
    out.saved = false;
    out.message = std::move(message);
    return out;
  };
  switch (entry.kind) {
    case FaultKind::kImage:
    case FaultKind::kRedirectChain:
    case FaultKind::kRedirectToTls:
    case FaultKind::kChunked:
    case FaultKind::kUntilClose:
    case FaultKind::kLongName:
    case FaultKind::kUserInformation:
      out.saved = true;
      out.bytes = FaultImageBytes(entry.n);
      return out;
    case FaultKind::kSlowDrip:
      out.saved = true;
      out.bytes = FaultImageBytes(entry.n).substr(0, 160);
      return out;
    case FaultKind::kEmptyImage:
    case FaultKind::kNoContent:
      out.saved = true;
      return out;
    case FaultKind::kRedirectLoop:
      // Followed 14 times; the 15th reply is still a redirect, so there is no image.
      return fail("302 Found");
    case FaultKind::kNotFound:
      return fail("404 Not Found");
    case FaultKind::kForbidden:
      return fail("403 Forbidden");
    case FaultKind::kBadRequest:
      return fail("400 Bad Request");
    case FaultKind::kServerError:
      return fail("500 Internal Server Error");
    case FaultKind::kResetMidBody:
      return fail("Socket Error # 10054\r\nConnection reset by peer.");
    case FaultKind::kShortBody:
    case FaultKind::kCloseBeforeStatus:
      return fail("Connection Closed Gracefully.");
    case FaultKind::kStallBeforeStatus:
    case FaultKind::kStallMidBody:
      return fail("Read timed out.");
    case FaultKind::kHugeLengthStall:
      return fail(kHugeLengthDeclared > limits.maxBodyBytes ? "Reply body too large."
                                                            : "Read timed out.");
    case FaultKind::kGarbageStatus:
      return fail("'eggs-and-ham' is not a valid integer value");
    case FaultKind::kLongHeaderLine:
      return fail("Reply line too long.");
    case FaultKind::kEndlessBody:
      return fail("Reply body too large.");
    case FaultKind::kNegativeLength:
      return fail("Invalid Content-Length: -5");
    case FaultKind::kHugeDeclaredLength:
      return fail(kHugeLengthDeclared > limits.maxBodyBytes ? "Reply body too large."
                                                            : "Connection Closed Gracefully.");
    case FaultKind::kTlsHandshakeFails:
      return fail("Error connecting with SSL.");
    case FaultKind::kRefused:
      return fail("Socket Error # 10061\r\nConnection refused.");
    case FaultKind::kPartialContent:
      return fail("206 Partial Content");
    case FaultKind::kOtherScheme:
      return fail("Protocol not supported.");
  }
  return out;
}

std::string ExpectedLogLine(int index, const ExpectedOutcome& outcome, const std::string& fileName,
                            const std::string& address) {
  if (outcome.saved) return "T" + std::to_string(index) + " " + fileName + ": OK";
  return "T" + std::to_string(index) + ":" + outcome.message + " " + address;
}

std::vector<FaultEntry> MixedFaultEntries(int count, const std::vector<FaultKind>& kinds,
                                          const std::vector<int>& weights, int firstN) {
  // Spread each kind evenly over the page (a weighted round robin) so that slow kinds never
  // bunch up at the end of the list.
  std::vector<FaultEntry> entries;
  std::vector<double> credit(kinds.size(), 0.0);
  int total = 0;
  for (int w : weights) total += w;
  std::vector<int> tlsToggle(kinds.size(), 0);
  for (int i = 0; i < count && total > 0; ++i) {
    size_t best = 0;
    for (size_t k = 0; k < kinds.size(); ++k) {
      credit[k] += static_cast<double>(weights[k]) / total;
      if (credit[k] > credit[best]) best = k;
    }
    credit[best] -= 1.0;
    FaultEntry entry;
    entry.kind = kinds[best];
    entry.n = firstN + i;
    entry.tls = FaultAllowsTls(entry.kind) && (tlsToggle[best]++ % 2 == 1);
    entries.push_back(entry);
  }
  return entries;
}

void StandardFaultMix(std::vector<FaultKind>& kinds, std::vector<int>& weights) {
  using K = FaultKind;
  const std::pair<FaultKind, int> mix[] = {
      {K::kImage, 100},           {K::kEmptyImage, 6},
      {K::kNoContent, 6},         {K::kNotFound, 16},
      {K::kForbidden, 6},         {K::kBadRequest, 6},
      {K::kServerError, 6},       {K::kRedirectChain, 24},
      {K::kRedirectToTls, 12},    {K::kRedirectLoop, 6},
      {K::kChunked, 24},          {K::kUntilClose, 16},
      {K::kResetMidBody, 12},     {K::kShortBody, 6},
      {K::kCloseBeforeStatus, 6}, {K::kStallBeforeStatus, 6},
      {K::kStallMidBody, 6},      {K::kSlowDrip, 6},
      {K::kGarbageStatus, 6},     {K::kLongHeaderLine, 6},
      {K::kNegativeLength, 6},    {K::kHugeDeclaredLength, 1},
      {K::kTlsHandshakeFails, 6}, {K::kRefused, 6},
      {K::kLongName, 4},          {K::kPartialContent, 6},
      {K::kUserInformation, 6},   {K::kOtherScheme, 6},
  };
  kinds.clear();
  weights.clear();
  for (const auto& [kind, weight] : mix) {
    kinds.push_back(kind);
    weights.push_back(weight);
  }
}

std::string FaultResultPage(const std::vector<FaultEntry>& entries, const FaultPorts& ports) {
  std::string page = "<body class=\"b_imgs\"><div id=\"b_content\"><ul class=\"dgControl_list\">\n";
  for (const FaultEntry& entry : entries) {
    const std::string n = std::to_string(entry.n);
    page += "<li data-idx=\"" + n + "\"><div class=\"imgpt\"><a class=\"iusc\" m='{\"cid\":\"c" +
            n + "\",\"purl\":\"http://example.invalid/page" + n + "\",imgurl:\"" +
            FaultAddress(entry, ports) + "\",\"t\":\"Picture " + n +
            "\"}' href=\"/images/search?view=detailV2&amp;id=" + n +
            "\"><img class=\"mimg\" alt=\"picture " + n + "\" height=\"160\" width=\"240\"></a>" +
            "<div class=\"img_info\"><span class=\"nowrap\">240 x 160 &#183; png</span></div>" +
            "</div></li>\n";
  }
  page += "</ul></div></body>";
  return page;
}

}  // namespace pixhaul::test
