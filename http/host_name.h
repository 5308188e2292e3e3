// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The host an address names, read the one way the URL standard that browsers follow reads it,
// so that the server fetched from is the one a browser would fetch from:
//  - an international name becomes its ASCII form (IDNA, through libidn2) before anything
//    looks it up or writes it;
//  - a host that ends in a number is an IPv4 address whose parts may be decimal, octal
//    (a leading 0) or hexadecimal (0x), with fewer than four parts filling the last ones
//    ("127.1" is 127.0.0.1, "0177.0.0.1" is 127.0.0.1); it is written as four decimal parts;
//  - anything else (a name, a bracketed IPv6 literal) stays as written.
// Pure function; any thread.
//
// Tests: tests/http/uri_test.cpp and tests/http/http_client_hostile_test.cpp.
#pragma once

#include <optional>
#include <string>

namespace pixhaul {

// The IPv4 address `host` names as four decimal parts when it ends in a number; nothing when it
// does not end in a number. Sets `invalid` for a host that ends in a number but is no address
// (a part too large, more than four parts, a part that is no number).
std::optional<std::string> UrlIPv4Address(const std::string& host, bool& invalid);

// The host to look up, connect to and name in the request for `host`. Raises EIdSocketError
// 11001, as an unknown host does, for a host holding a control byte or a blank, a name IDNA
// refuses, or a host that ends in a number and is no IPv4 address.
std::string CanonicalHost(const std::string& host);

}  // namespace pixhaul
