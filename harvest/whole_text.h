// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// WholeText: a text held whole in memory, seen through the interface of PageTextStream, so
// that one scan serves a streamed page and a text in memory alike. Positions are offsets into
// the text.
#pragma once

#include <cstddef>
#include <string_view>

namespace pixhaul {

class WholeText {
 public:
  explicit WholeText(std::string_view text) : text_(text) {}
  size_t Begin() const { return 0; }
  size_t End() const { return text_.size(); }
  std::string_view View(size_t from, size_t to) const { return text_.substr(from, to - from); }
  // There is never more: the whole text is in.
  bool More(size_t /*keepFrom*/) { return false; }

 private:
  std::string_view text_;
};

}  // namespace pixhaul
