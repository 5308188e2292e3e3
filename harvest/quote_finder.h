// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// QuoteFinder: the first double quote at or after a position that never moves backwards, in a
// text seen through the PageTextStream interface.
//
// The answer is remembered, and so is how far the text is known to hold no quote, so a page
// whose quotes run out is not rescanned to its end once per marker: every byte is looked at
// once at most. One scan, one thread.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace pixhaul {

class QuoteFinder {
 public:
  // The position of the quote, or std::string_view::npos when the text has none from `from`
  // on. Reads more of `text` while looking, keeping it from `from` on.
  template <class Text>
  size_t NextFrom(Text& text, size_t from) {
    if (next_ != kNone && next_ >= from) return next_;
    if (exhausted_) return kNone;
    size_t at = std::max(from, searched_);
    for (;;) {
      const std::string_view rest = text.View(at, text.End());
      const void* hit = std::memchr(rest.data(), '"', rest.size());
      if (hit != nullptr) {
        next_ = at + static_cast<size_t>(static_cast<const char*>(hit) - rest.data());
        searched_ = next_;
        return next_;
      }
      searched_ = text.End();
      if (!text.More(from)) {
        exhausted_ = true;
        next_ = kNone;
        return kNone;
      }
      at = searched_;
    }
  }

 private:
  static constexpr size_t kNone = std::string_view::npos;

  size_t next_ = kNone;
  // Searched up to here: between the last start and searched_ the only quote is next_.
  size_t searched_ = 0;
  bool exhausted_ = false;
};

}  // namespace pixhaul
