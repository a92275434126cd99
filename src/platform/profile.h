// Profile strings: GetPrivateProfileStringA.
// Section and key names match without regard to ASCII case; blanks around values are
// dropped and one pair of surrounding quotes is removed, as Windows does. The value is cut
// to `max_length` bytes (the caller's buffer size less one).
#pragma once

#include <cstddef>
#include <string>

namespace platform {

std::string ReadProfileString(const std::string& section, const std::string& key,
                                    const std::string& default_value,
                                    const std::string& file_name,
                                    std::size_t max_length = 2047);

}  // namespace platform
