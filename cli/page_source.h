// Reading the result page that pixhaul-cli works on: a saved file, whose bytes are the markup
// as they stand, or an http(s) address fetched once with the program's own HTTP client, set up
// as a download is (Referer, User-Agent, redirects, TLS for https). Any thread.
#pragma once

#include <string>

namespace pixhaul::cli {

// Returns the markup. Raises EFOpenError "Cannot open file %s" for a file that cannot be read,
// and whatever the HTTP client raises for an address.
std::string ReadPage(const std::string& page);

}  // namespace pixhaul::cli
