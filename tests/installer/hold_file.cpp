// Test helper: holds a file open the way a running host holds its executable (read access,
// others may only read) until its standard input closes. Creates <file>.held once the
// file is open so that the test knows when to go on.
//   orb_hold_file <file>
#include <cstdio>
#include <string>

#include "platform/file.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  platform::FileHandle h = platform::kNoFile;
  if (platform::FileOpen(argv[1], platform::kGenericRead, platform::kFileShareRead,
                         platform::kOpenExisting, 0, h) != 0) {
    return 1;
  }
  platform::ScopedFile held(h);
  platform::FileHandle marker = platform::kNoFile;
  platform::FileOpen(std::string(argv[1]) + ".held", platform::kGenericWrite, 0,
                     platform::kCreateAlways, 0, marker);
  platform::FileClose(marker);
  while (std::getchar() != EOF) {
  }
  return 0;
}
