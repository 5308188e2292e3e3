// The name under which an image is saved in the save folder, made from its address.
//
// A pure function of the address text, so an image fetched by an earlier run is recognised by
// its name alone. Safe on any thread; it keeps no state.
#pragma once

#include <string>

namespace pixhaul {

// Flattens the whole address into one name: every "/" becomes "_", then every ":" is dropped.
// Nothing else changes (no trimming, no escaping, no length limit). Never raises.
std::string FileNameFromUrl(const std::string& address);

}  // namespace pixhaul
