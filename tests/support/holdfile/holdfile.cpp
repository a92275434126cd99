// orb_holdfile <file> <access: r|w|rw> <share: -|r|w|rw> <ready-file>
// Opens <file> (OPEN_ALWAYS) through the layer, writes the open's error code as text to
// <ready-file>, then holds the file open until standard input closes. Exit code: the open's
// error code.
#include <cstdio>
#include <string>

#include "platform/file.h"

namespace {

std::uint32_t Flags(const std::string& s, std::uint32_t read, std::uint32_t write) {
  std::uint32_t f = 0;
  if (s.find('r') != std::string::npos) f |= read;
  if (s.find('w') != std::string::npos) f |= write;
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) return 87;
  std::uint32_t access = Flags(argv[2], platform::kGenericRead, platform::kGenericWrite);
  std::uint32_t share = Flags(argv[3], platform::kFileShareRead, platform::kFileShareWrite);
  platform::FileHandle h = platform::kNoFile;
  std::uint32_t e = platform::FileOpen(argv[1], access, share, platform::kOpenAlways,
                                       platform::kFileAttributeNormal, h);
  platform::ScopedFile held(h);
  std::string code = std::to_string(e);
  platform::FileHandle r = platform::kNoFile;
  if (platform::FileOpen(argv[4], platform::kGenericWrite, 0, platform::kCreateAlways,
                         platform::kFileAttributeNormal, r) == 0) {
    std::uint32_t done = 0;
    platform::FileWrite(r, code.data(), static_cast<std::uint32_t>(code.size()), done);
    platform::FileClose(r);
  }
  while (std::getchar() != EOF) {
  }
  return static_cast<int>(e);
}
