// Unit PrefixPath: see PrefixPath.h.
#include "support/PrefixPath.h"

#include <cctype>
#include <cstdlib>

namespace orbtest {

std::string UnixPathInPrefix(const std::string& win) {
  const char* prefix = std::getenv("WINEPREFIX");
  if (prefix == nullptr || win.size() < 2 || win[1] != ':') return {};
  std::string u = std::string(prefix) + "/dosdevices/" +
                  static_cast<char>(std::tolower(static_cast<unsigned char>(win[0]))) + ":";
  for (std::size_t i = 2; i < win.size(); ++i) u += win[i] == '\\' ? '/' : win[i];
  return u;
}

}  // namespace orbtest
