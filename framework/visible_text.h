// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// VisibleText: a text from outside (a server's words, an address from a page) made safe to show
// in the log: every control byte is written out as an escape, so one log call stays one line and
// no terminal escape sequence reaches a console.
//
// Pure function; any thread.
#pragma once

#include <string>
#include <string_view>

namespace pixhaul {

// Escapes C0 control bytes and DEL ("\r", "\n", "\t", else "\x1b" style, lower-case hex) and
// the C1 controls U+0080..U+009F in their two-byte UTF-8 form ("\u009b" style). Every other
// byte, a backslash included, stays as it is. With `keepLineBreaks`, an LF and a CR right before
// it stay too: for a message of the program's own that names a socket error on two lines, whose
// server-given parts can hold no LF.
std::string VisibleText(std::string_view text, bool keepLineBreaks = false);

// True when VisibleText leaves `text` as it is because it holds no control byte, no DEL and no
// byte 0xC2 (the lead byte of a C1 control).
bool ShowsAsItIs(std::string_view text);

}  // namespace pixhaul
