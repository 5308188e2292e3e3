// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "tests/support/raised.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>

namespace pixhaul::test {

std::string RaisedText(const std::exception& raised) {
  const char* mangled = typeid(raised).name();
  int status = 0;
  const std::unique_ptr<char, decltype(&std::free)> demangled(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), &std::free);
  std::string name = status == 0 && demangled ? demangled.get() : mangled;
  constexpr std::string_view kNamespace = "pixhaul::";
  if (name.starts_with(kNamespace)) name.erase(0, kNamespace.size());
  return name + ": " + raised.what();
}

}  // namespace pixhaul::test
