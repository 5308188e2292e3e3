// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The fault catalogue: what the fault-injecting image server does for each address, and what
// a correct download client makes of it.
//
// An address names its fault in its path: /img/<n>/<token>.png, where n is a number unique on
// the page and the token names the fault kind (with a hop suffix "-<k>" on the inner hops of
// redirect chains). The catalogue is pure data and functions: it owns nothing, and every
// function may be called from any thread.
//
// The expected outcome of an address is stated in the download worker's log-line forms:
// "T<i> <file name>: OK" with the exact bytes that must land in the file, or
// "T<i>:<message> <address>" with the exact message (or, for the few kinds whose message
// names a local path, only the requirement that some message is there).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pixhaul::test {

enum class FaultKind {
  kImage,               // 200 with a Content-Length and the image bytes (http or https)
  kEmptyImage,          // 200 with "Content-Length: 0": an empty image, saved as 0 bytes
  kNoContent,           // 204 without a length: an empty image, never an until-close read
  kNotFound,            // 404 with a body
  kForbidden,           // 403 with a body
  kBadRequest,          // 400 with a body
  kServerError,         // 500 with a body
  kRedirectChain,       // 301, 302 (relative), 307, then the image; bodies larger than the image
  kRedirectToTls,       // http 302 to the https port, then the image over TLS
  kRedirectLoop,        // endless relative redirects: the client fails on the 15th redirect
  kChunked,             // chunked body with sizes in both letter cases
  kUntilClose,          // no length, no chunking: the body ends when the server closes
  kResetMidBody,        // half the counted body, then a TCP reset
  kShortBody,           // a tenth of the counted body, then an orderly close
  kCloseBeforeStatus,   // reads the request, closes without a byte of reply
  kStallBeforeStatus,   // reads the request, then sends nothing until the client gives up
  kStallMidBody,        // status, headers and part of the body, then silence
  kSlowDrip,            // the whole reply, one byte every few milliseconds
  kGarbageStatus,       // a status line that is not one
  kLongHeaderLine,      // one header line of 150 KiB
  kEndlessBody,         // no length, bytes without end until the client closes
  kNegativeLength,      // "Content-Length: -5"
  kHugeDeclaredLength,  // "Content-Length: 400000000", 100 bytes, then an orderly close
  kHugeLengthStall,     // "Content-Length: 400000000", 100 bytes, then silence
  kTlsHandshakeFails,   // an https address on a port whose peer does not speak TLS
  kRefused,             // a port that refuses connections
  kLongName,            // a good image whose name is too long for the file system as it stands
  kPartialContent,      // 206 with a Content-Range and the image's first half: never an image
  kUserInformation,     // a good image at an address with "user:password@" before the host
  kOtherScheme,         // an ftp address on the http port: no request may reach the server
};

inline constexpr int kFaultKindCount = static_cast<int>(FaultKind::kOtherScheme) + 1;

// The path token of a kind ("ok", "e404", "redir", ...), and back; false when unknown.
std::string_view FaultToken(FaultKind kind);
bool FaultKindFromToken(std::string_view token, FaultKind& kind);

// True for the kinds that a correct client ends by saving a file.
bool FaultSucceeds(FaultKind kind);
// True for the kinds that may be served over TLS as well as plain http.
bool FaultAllowsTls(FaultKind kind);

// One address of a generated page.
struct FaultEntry {
  FaultKind kind = FaultKind::kImage;
  int n = 0;         // unique per page; seeds the bytes
  bool tls = false;  // https on the TLS port (only where FaultAllowsTls)
};

// What a correct client does with one address.
struct ExpectedOutcome {
  bool saved = false;       // a file with exactly `bytes`
  std::string bytes;        // when saved
  std::string message;      // the exception message when not saved
  bool anyMessage = false;  // the message names a local path: only its presence is checked
};

// Deterministic image bytes for number n (a PNG signature, then pseudo-random bytes; 1 KiB to
// about 61 KiB).
std::string FaultImageBytes(int n);
// The body of redirect hop k of a redirect loop for number n.
std::string FaultLoopBody(int n, int hop);

// The ports an address may name.
struct FaultPorts {
  uint16_t http = 0;
  uint16_t https = 0;
  uint16_t badTls = 0;
  uint16_t refused = 0;
};

// The address of an entry, e.g. "http://127.0.0.1:40123/img/7/ok.png".
std::string FaultAddress(const FaultEntry& entry, const FaultPorts& ports);
// The declared length of kHugeDeclaredLength replies.
inline constexpr int64_t kHugeLengthDeclared = 400000000;

// The client's bound on a reply body; its outcome for some kinds depends on it.
struct ClientLimits {
  int64_t maxBodyBytes = int64_t{512} * 1024 * 1024;
};

// The expected outcome of an entry for a client with `limits`.
ExpectedOutcome FaultExpectation(const FaultEntry& entry, const ClientLimits& limits = {});

// The expected log line of position `index`, for an outcome with an exact message (for a saved
// file `fileName` is used, otherwise `address`).
std::string ExpectedLogLine(int index, const ExpectedOutcome& outcome, const std::string& fileName,
                            const std::string& address);

// A page mixing the kinds: `count` entries cycling through `kinds` weighted by `weights`
// (same length), numbered from `firstN`, with every other TLS-capable entry over https.
std::vector<FaultEntry> MixedFaultEntries(int count, const std::vector<FaultKind>& kinds,
                                          const std::vector<int>& weights, int firstN = 1);
// The mix the soaks use: every kind but the endless body (which a soak places by hand, since
// each costs the client its whole body limit), weighted so that plain images dominate as on
// real pages and every rare kind still appears about once per hundred addresses.
void StandardFaultMix(std::vector<FaultKind>& kinds, std::vector<int>& weights);

// A result page in the Bing form, one `imgurl:"<address>"` marker per entry, padded with
// ordinary markup so that the page is of realistic size.
std::string FaultResultPage(const std::vector<FaultEntry>& entries, const FaultPorts& ports);

}  // namespace pixhaul::test
