// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TIdURI: splits an address into the parts an HTTP request is built from.
//
// Only the class-level operations are used; no instance is ever made. The split is a plain text
// scan: it neither validates nor decodes, never fails and never raises, and it keeps no state,
// so any thread may call it.
#pragma once

#include <string>

namespace pixhaul {

class TIdURI {
 public:
  TIdURI() = delete;

  // Splits `address` (taken by copy; the caller's text is untouched) into:
  //  Protocol     - text before the first "://", letter case kept; empty without "://".
  //  Host         - the authority's host: the authority is the text after "://" up to the
  //                 first "/", "?" or "#"; user information up to its last "@" is dropped,
  //                 and the host ends at the first ":" after that - for an IPv6 literal
  //                 ("[2001:db8::1]", brackets kept) the first ":" after its "]". Empty
  //                 without "://".
  //  Port         - the authority's text after that ":" (empty when it has none), as written:
  //                 whether it is a port number is for the caller to judge. For an address
  //                 without "://" it keeps the value the caller passed in.
  //  Path         - up to and including the last "/" after the authority (of the whole text
  //                 for a relative address), always starting with "/".
  //  ResourceName - what follows Path, up to and excluding its first "#".
  //  Fragment     - the text after that "#"; empty when there is none.
  // Backslashes count as slashes.
  static void SplitAddress(std::string address, std::string& Protocol, std::string& Host,
                           std::string& Path, std::string& ResourceName, std::string& Port,
                           std::string& Fragment);

  // Turns every backslash of `text` into a forward slash, in place. Texts are UTF-8, which has
  // no double-byte lead bytes to step over, so no backslash is ever part of a wider character.
  static void UnifySlashes(std::string& text);
};

}  // namespace pixhaul
