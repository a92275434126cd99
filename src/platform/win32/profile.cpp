// Profile strings through GetPrivateProfileStringA.
#include "platform/profile.h"

#include <vector>

#include "platform/win32/windows_api.h"

namespace platform {

std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& default_value, const std::string& file_name,
                              std::size_t max_length) {
  std::vector<char> buffer(max_length + 1, '\0');
  DWORD n = ::GetPrivateProfileStringA(section.c_str(), key.c_str(), default_value.c_str(),
                                       buffer.data(), static_cast<DWORD>(buffer.size()),
                                       file_name.c_str());
  win32::Outcome(0);
  return std::string(buffer.data(), n);
}

}  // namespace platform
