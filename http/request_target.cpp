// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "http/request_target.h"

namespace pixhaul {

namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsSchemeChar(char c) {
  return IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

// A target or reference cut into its path and query; the fragment is dropped.
struct PathAndQuery {
  std::string_view path;
  std::string_view query;
  bool hasQuery = false;
};

PathAndQuery SplitTarget(std::string_view text) {
  text = text.substr(0, text.find('#'));
  PathAndQuery parts;
  const size_t question = text.find('?');
  parts.path = text.substr(0, question);
  if (question != std::string_view::npos) {
    parts.query = text.substr(question + 1);
    parts.hasQuery = true;
  }
  return parts;
}

// Drops the last segment of `output` and the "/" before it.
void DropLastSegment(std::string& output) {
  const size_t slash = output.rfind('/');
  output.erase(slash == std::string::npos ? 0 : slash);
}

// The "remove_dot_segments" step of RFC 3986, section 5.2.4.
std::string RemoveDotSegments(std::string_view input) {
  std::string output;
  while (!input.empty()) {
    if (input.starts_with("../")) {
      input.remove_prefix(3);
    } else if (input.starts_with("./")) {
      input.remove_prefix(2);
    } else if (input.starts_with("/./")) {
      input.remove_prefix(2);
    } else if (input == "/.") {
      input = "/";
    } else if (input.starts_with("/../")) {
      input.remove_prefix(3);
      DropLastSegment(output);
    } else if (input == "/..") {
      input = "/";
      DropLastSegment(output);
    } else if (input == "." || input == "..") {
      input = {};
    } else {
      // The first segment, with the "/" before it, moves to the output.
      const size_t next = input.find('/', input.front() == '/' ? 1 : 0);
      output.append(input.substr(0, next));
      input.remove_prefix(next == std::string_view::npos ? input.size() : next);
    }
  }
  return output;
}

}  // namespace

std::string ReferenceScheme(std::string_view reference) {
  if (reference.empty() || !IsAsciiLetter(reference.front())) return {};
  for (size_t i = 1; i < reference.size(); ++i) {
    if (reference[i] == ':') return std::string(reference.substr(0, i));
    if (!IsSchemeChar(reference[i])) return {};
  }
  return {};
}

std::string ResolveRelativeTarget(std::string_view baseTarget, std::string_view reference) {
  const PathAndQuery base = SplitTarget(baseTarget);
  const PathAndQuery ref = SplitTarget(reference);
  std::string path;
  std::string_view query = ref.query;
  bool hasQuery = ref.hasQuery;
  if (ref.path.empty()) {
    path = RemoveDotSegments(base.path);
    if (!hasQuery) {
      query = base.query;
      hasQuery = base.hasQuery;
    }
  } else if (ref.path.front() == '/') {
    path = RemoveDotSegments(ref.path);
  } else {
    // Relative to the folder of the base path: everything up to and including its last "/".
    const size_t slash = base.path.rfind('/');
    std::string merged = slash == std::string_view::npos
                             ? std::string("/")
                             : std::string(base.path.substr(0, slash + 1));
    merged.append(ref.path);
    path = RemoveDotSegments(merged);
  }
  if (path.empty() || path.front() != '/') path.insert(path.begin(), '/');
  if (hasQuery) {
    path += '?';
    path.append(query);
  }
  return path;
}

std::string EncodeRequestTarget(std::string_view target) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(target.size());
  for (char c : target) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F) {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0x0F];
    } else {
      encoded += c;
    }
  }
  return encoded;
}

}  // namespace pixhaul
