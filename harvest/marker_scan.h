// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The marker scan: ExtractImageUrls, the list of image addresses named in a saved
// search-result page, cut after each site's fixed marker.
//
// A plain text scan with one fixed marker per image-search site (see SiteMarker); it does not
// parse the markup and decodes nothing. Each address is the exact byte run after the site's
// marker (minus the site's skipped prefix) up to the next double quote. The page is streamed
// through a small reused buffer and the list is written as the addresses are found, so memory
// stays a few megabytes whatever the page's size (an address is held whole, however long it
// runs, and one without a closing quote holds the rest of the page while its end is looked
// for). Called by the run's harvest (address_harvest.h) on the thread that runs it; it touches
// no state other than the two files, so any single thread may call it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "framework/file_target.h"
#include "framework/string_list.h"
#include "harvest/page_text_stream.h"
#include "harvest/site_table.h"

namespace pixhaul {

// How many bytes the marker's list may hold for each byte of the page.
inline constexpr uint64_t kListBytesPerPageByte = 16;

// `site` picks the marker (harvest/site_table.h); no site finds nothing.
// Reads `pageFile` as a line list would (line breaks CR, LF or CR LF become CR LF, an
// unterminated last line gets one, a NUL ends the text), collects every address in page order -
// duplicates and empty entries included, an address without a closing quote being empty - and
// writes them to `listFile`, each followed by CR LF (a 0-byte file when there are none).
// Returns the number of entries written.
// The entries restart at the address just taken, so a page whose addresses hold the marker
// again gives overlapping entries; the list is bounded at kListBytesPerPageByte times the
// page's size (its entries with their CR LF), and ends before the entry that would pass it.
// No list of a real page comes near the bound.
// The list replaces `listFile` only when complete (framework/replacement_file.h): on every
// failure the file is left as it was, and a link planted under its name is replaced, never
// followed. Raises EFOpenError "Cannot open file %s" when the page cannot be opened or read,
// EFCreateError "Cannot create file %s" when the list file cannot be created or given its
// name, EWriteError "Stream write error" when the list cannot be written completely. Time is
// linear in the page size.
int ExtractImageUrls(const PageFile& pageFile, const FileTarget& listFile,
                     std::optional<SiteId> site);

// The scan on its own: the addresses `site`'s marker finds in `text`, in order. `text` is
// taken as it stands; ExtractImageUrls scans the page's lines each followed by CR LF. Never
// raises except for lack of memory.
TStringList FindImageUrls(std::string_view text, std::optional<SiteId> site);

class AddressListFile;

namespace detail {

// What the marker scan of a page found.
struct MarkerScan {
  int count = 0;              // entries, empty ones included
  bool cutAnAddress = false;  // at least one entry begins with "http://" or "https://" (any case)
  bool listCut = false;       // the list reached its bound and the rest was left out
};

// The marker scan of ExtractImageUrls from `page` into `list`, which the caller finishes (or
// drops, leaving the list file as it was). Raises what ExtractImageUrls raises for the page and
// EWriteError for the list.
MarkerScan ScanPageWithMarker(PageTextStream& page, std::optional<SiteId> site,
                              AddressListFile& list);

// ExtractImageUrls reading the page `chunkBytes` (at least 1) bytes at a time; the result does
// not depend on the chunk size. Lets tests put chunk borders anywhere.
int ExtractImageUrlsChunked(const PageFile& pageFile, const FileTarget& listFile,
                            std::optional<SiteId> site, size_t chunkBytes);

// The page's read size ExtractImageUrls uses.
inline constexpr size_t kPageChunkBytes = 1 << 20;

}  // namespace detail

}  // namespace pixhaul
