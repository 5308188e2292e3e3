// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Raised: what a call ended in, as one text a test compares with the exception it expects -
// its class and its message at once: "" when the call returned, otherwise the class of what it
// raised (without the pixhaul:: namespace), ": " and its message, as in
// "EIdReadTimeout: Read timed out.". The class is the exception's own, not a base it was
// caught by, so a test tells EIdConnClosedGracefully from any other EIdException.
//
// When a test also checks fields of the exception (a status code, a socket error number), it
// names the class E and gives `inspect`, which runs on the exception when it is an E.
//
// Any thread; the call runs on the caller's.
#pragma once

#include <exception>
#include <string>
#include <typeinfo>
#include <utility>

namespace pixhaul::test {

// "EIdReadTimeout: Read timed out." for `raised`.
std::string RaisedText(const std::exception& raised);

template <typename Action>
std::string Raised(Action&& action) {
  try {
    std::forward<Action>(action)();
  } catch (const std::exception& raised) {
    return RaisedText(raised);
  }
  return "";
}

template <typename E, typename Action, typename Inspect>
std::string Raised(Action&& action, Inspect&& inspect) {
  try {
    std::forward<Action>(action)();
  } catch (const std::exception& raised) {
    if (const auto* typed = dynamic_cast<const E*>(&raised)) std::forward<Inspect>(inspect)(*typed);
    return RaisedText(raised);
  }
  return "";
}

}  // namespace pixhaul::test
