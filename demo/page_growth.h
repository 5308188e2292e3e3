// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The part of a demo result page that makes it grow the way the sites' pages do: a further
// batch of results each time the page is scrolled to its end, asked of the demo server at
// /more<page path>?from=<results shown>, until every result is in; and, on pages that ask for
// it, a "more results" button that takes the place of the scroll after a few batches and
// brings the next batch when pressed. The page's results sit in the element with the id
// "results"; each batch the server sends is appended to it as it comes. Pure functions; any
// thread.
#pragma once

#include <string>

namespace pixhaul::demo {

struct PageGrowth {
  std::string pagePath;  // the page's own path, "/today/bing.html" say
  int shown = 0;         // results on the page as served
  int total = 0;         // results there are; the page stops growing at this many
  int batch = 0;         // results the server sends per request
  int delayMs = 0;       // how long the page waits before it asks for a batch
  // Batches loaded by scrolling before the "more results" button is shown instead; 0 for a
  // page without the button.
  int batchesBeforeButton = 0;
};

// The class of the demo's "more results" button, and the text it shows.
inline constexpr const char* kMoreResultsButtonClass = "mye4qd";
inline constexpr const char* kMoreResultsButtonText = "Show more results";

// The end of the page after its results: a screen-high area saying whether more results come,
// the button when the page has one, and the script that loads the batches. Nothing when every
// result is shown already.
std::string PageGrowthMarkup(const PageGrowth& growth);

// The path the page at `pagePath` asks its batches from ("/more" + pagePath), and the first
// result a batch request asks for: the number after "from=" in `query` (the part of the target
// after "?"), or -1 when there is none.
std::string BatchPath(const std::string& pagePath);
int BatchStart(const std::string& query);

}  // namespace pixhaul::demo
