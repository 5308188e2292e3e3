// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Request targets: the "/path?query" a request line names, worked out from a redirect's Location
// and made safe to write into the request line.
//
// A redirect may name its target relative to the request it answers. These functions read such
// references the way RFC 3986 does for the parts that matter to a request target: the scheme,
// and the path and query merged with the current target's (dot segments removed, the fragment
// dropped). Authorities are left to TIdURI::SplitAddress. Pure functions on texts; any thread.
#pragma once

#include <string>
#include <string_view>

namespace pixhaul {

// The scheme an address begins with: a letter, then letters, digits, "+", "-" or ".", up to a
// ":". Empty when the address does not begin so (a relative reference such as "a.jpg",
// "/p?u=http://x" or "//host/p").
std::string ReferenceScheme(std::string_view reference);

// The target that `reference` (a relative reference without scheme and authority) names when
// read against `baseTarget`, the "/path?query" of the request it answers: a reference beginning
// with "/" replaces the path, any other path is taken relative to the base path's last "/", an
// empty path keeps the base path (and its query unless the reference has one). "." and ".."
// segments are resolved, and the fragment is left out. The result begins with "/".
std::string ResolveRelativeTarget(std::string_view baseTarget, std::string_view reference);

// `target` with every blank, control byte and byte above 0x7E written as "%" and two upper-case
// hexadecimal digits, so that no text of an address can end or split the request line. Every
// other byte, "%" included, stays as it is: an address already percent-encoded is not encoded
// twice.
std::string EncodeRequestTarget(std::string_view target);

}  // namespace pixhaul
