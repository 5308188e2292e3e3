// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "cli/page_source.h"

#include <memory>

#include "cli/cli_options.h"
#include "download/download_client.h"
#include "framework/memory_stream.h"

namespace pixhaul::cli {

namespace {

PageMarkup Fetch(const std::string& address) {
  DownloadClient client;
  // The page is held once, in the buffer the client writes it to.
  auto body = std::make_unique<TMemoryStream>();
  client.GetInto(address, *body);
  return PageMarkup(std::move(body));
}

}  // namespace

PageMarkup ReadPage(const std::string& page, uint64_t fileLimit) {
  return IsWebAddress(page) ? Fetch(page) : PageMarkup::FromFile(page, fileLimit);
}

}  // namespace pixhaul::cli
