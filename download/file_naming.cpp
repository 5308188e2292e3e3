#include "download/file_naming.h"

namespace pixhaul {

std::string FileNameFromUrl(const std::string& address) {
  // Replacing slashes and dropping colons in one pass is the same as doing it in two: an
  // underscore made from a slash is never a colon, so the colons dropped are those of the address.
  std::string name;
  name.reserve(address.size());
  for (char c : address) {
    if (c == '/') {
      name.push_back('_');
    } else if (c != ':') {
      name.push_back(c);
    }
  }
  return name;
}

}  // namespace pixhaul
