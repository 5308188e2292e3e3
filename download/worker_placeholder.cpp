// Temporary: the download worker needs the HTTP client, which is not in the tree yet. Until it
// is, starting a worker fails loudly instead of pretending to download.
#include "download/Unitdowntile.h"
#include "framework/exception.h"

namespace pixhaul {

void StartDownTileThread(const std::string&, const std::string&, int, const std::string&,
                         TRunController&) {
  throw EThread("Thread creation error: the download worker is not built yet");
}

}  // namespace pixhaul
