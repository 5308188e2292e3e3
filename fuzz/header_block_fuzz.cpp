// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Fuzz target: a received header block read into the reply record, with the value lookups the
// exchange makes. Malformed values may raise the framework's exceptions; nothing else may
// escape, and a lookup never raises.
#include <cstddef>
#include <cstdint>
#include <string>

#include "framework/exception.h"
#include "fuzz/fuzz_support.h"
#include "http/header_info.h"
#include "http/header_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pixhaul::TIdHeaderList lines;
  lines.SetText(pixhaul::fuzz::AsText(data, size));
  const int received = lines.Count();
  for (const char* name : {"Content-Length", "transfer-encoding", "Location", "CONNECTION", ""})
    lines.ValueOf(name);
  for (int i = 0; i < lines.Count(); ++i) {
    lines.NameAt(i);
    lines.ValueAt(i);
  }

  pixhaul::TIdHeaderInfo reply;
  try {
    reply.LoadFromLines(lines);
  } catch (const pixhaul::Exception&) {
    return 0;  // a Content-Range or date the record cannot read
  }
  // Mapped lines leave the list; the rest move to ExtraHeaders; nothing is invented.
  FUZZ_CHECK(reply.ExtraHeaders().Count() <= received, "more extra lines than received");
  reply.ExtraHeaders().ValueOf("Transfer-Encoding");
  if (reply.HasContentLength) FUZZ_CHECK(!reply.ContentLengthText.empty(), "length text lost");
  return 0;
}
