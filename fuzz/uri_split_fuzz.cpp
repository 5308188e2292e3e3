// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Fuzz target: splitting an address into protocol, host, port, path, resource and fragment.
// Besides not crashing, the parts must keep the shape the HTTP exchange builds its request
// from.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "http/socket/socket_stack.h"
#include "http/uri.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string address(pixhaul::fuzz::AsText(data, size));
  std::string protocol = "stale", host = "stale", path = "stale", resource = "stale";
  std::string port = "kept", fragment = "stale";
  pixhaul::TIdURI::SplitAddress(address, protocol, host, path, resource, port, fragment);

  FUZZ_CHECK(!path.empty() && path.front() == '/', address);
  FUZZ_CHECK(resource.find('/') == std::string::npos, address);
  FUZZ_CHECK(resource.find('#') == std::string::npos, address);
  for (const std::string* part : {&protocol, &host, &path, &resource, &fragment})
    FUZZ_CHECK(part->find('\\') == std::string::npos, address);

  std::string unified = address;
  pixhaul::TIdURI::UnifySlashes(unified);
  const size_t separator = unified.find("://");
  if (separator == std::string::npos) {
    // A relative address names no protocol or host and leaves the caller's port alone.
    FUZZ_CHECK(protocol.empty() && host.empty() && port == "kept", address);
  } else {
    FUZZ_CHECK(protocol == unified.substr(0, separator), address);
    // The authority ends at the first "/", "?" or "#", and user information is dropped; a
    // ":" stays in the host only inside an IPv6 literal's brackets.
    const size_t close = host.starts_with('[') ? host.find(']') : std::string::npos;
    FUZZ_CHECK(host.find_first_of("/?#@") == std::string::npos, address);
    FUZZ_CHECK(host.find(':', close == std::string::npos ? 0 : close) == std::string::npos,
               address);
    FUZZ_CHECK(port.find_first_of("/?#@") == std::string::npos, address);
    // Nothing after the user information is dropped from the host or the port, so a NUL or a
    // control byte there is judged with them, never cut away unseen.
    const size_t authorityStart = separator + 3;
    std::string named = unified.substr(
        authorityStart, unified.find_first_of("/?#", authorityStart) - authorityStart);
    const size_t at = named.rfind('@');
    if (at != std::string::npos) named.erase(0, at + 1);
    FUZZ_CHECK(named.starts_with(host), address);
    FUZZ_CHECK(named.size() == host.size() + (named.size() > host.size() ? port.size() + 1 : 0),
               address);
    // A host the connection accepts can never break its Host line.
    if (pixhaul::TIdStack::IsCleanHostText(host)) {
      FUZZ_CHECK(host.find_first_of(std::string("\0\r\n \t", 5)) == std::string::npos, address);
    }
  }
  // Nothing is lost but the "#" before the fragment and a "/" the path gains in front.
  const std::string target = path + resource;
  FUZZ_CHECK(unified.find(target.substr(1)) != std::string::npos, address);
  return 0;
}
