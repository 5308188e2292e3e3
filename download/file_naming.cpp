// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/file_naming.h"

#include <cstdint>
#include <cstdio>
#include <string_view>

namespace pixhaul {

namespace {

// An extension longer than this is more likely part of a word than a file type.
constexpr size_t kMaxExtensionBytes = 10;

// FNV-1a: stable across runs, builds and machines, which is all a saved name needs.
uint64_t AddressHash(std::string_view address) {
  uint64_t hash = 0xcbf29ce484222325ULL;
  for (unsigned char c : address) {
    hash ^= c;
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

bool IsAsciiAlnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// ".jpg" of "http://h/a/b.jpg?x=1#y": the last path segment's extension, or "" when it has
// none that looks like a file type.
std::string_view AddressExtension(std::string_view address) {
  address = address.substr(0, address.find_first_of("?#"));
  const std::string_view segment = address.substr(address.find_last_of('/') + 1);
  const size_t dot = segment.rfind('.');
  if (dot == std::string_view::npos) return {};
  const std::string_view extension = segment.substr(dot);
  if (extension.size() < 2 || extension.size() > kMaxExtensionBytes) return {};
  for (char c : extension.substr(1)) {
    if (!IsAsciiAlnum(c)) return {};
  }
  return extension;
}

std::string ShortenedName(const std::string& address, const std::string& name) {
  char hash[24];
  std::snprintf(hash, sizeof hash, "~%016llx",
                static_cast<unsigned long long>(AddressHash(address)));
  const std::string_view extension = AddressExtension(address);
  size_t keep = kMaxFileNameBytes - std::string_view(hash).size() - extension.size();
  // Do not leave half a UTF-8 character at the cut: the name is also shown in the log.
  while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
  std::string shortened = name.substr(0, keep);
  shortened += hash;
  shortened += extension;
  return shortened;
}

}  // namespace

std::string FileNameFromUrl(const std::string& address) {
  // Replacing slashes and dropping colons in one pass is the same as doing it in two: an
  // underscore made from a slash is never a colon, so the colons dropped are those of the address.
  std::string name;
  name.reserve(address.size());
  for (char c : address) {
    if (c == '/') {
      name.push_back('_');
    } else if (c != ':') {
      name.push_back(c);
    }
  }
  if (name.size() > kMaxFileNameBytes) return ShortenedName(address, name);
  return name;
}

}  // namespace pixhaul
