// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The window's texts between std::string (UTF-8) and QString.
//
// Tests: every window test, through the texts they compare.
#pragma once

#include <QString>
#include <string>

namespace pixhaul {

inline QString Q(const std::string& text) {
  return QString::fromUtf8(text.data(), qsizetype(text.size()));
}
inline std::string S(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace pixhaul
