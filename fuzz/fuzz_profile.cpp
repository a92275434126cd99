// The profile-string reader on an arbitrary TASKSIGN.TSK: the installer's look-ups (section
// and keys of a task signature) and a few odd ones. The value must respect the length cut.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzSupport.h"
#include "platform/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto& prefix = orbfuzz::Prefix::Get();
  static const bool made = (orbfuzz::ResetDir(prefix.drive_c() + "/work"), true);
  (void)made;
  orbfuzz::WriteUnixFile(prefix.drive_c() + "/work/TASKSIGN.TSK", data, size);
  const std::string file = "C:\\work\\TASKSIGN.TSK";
  static const char* const kLookups[][2] = {
      {"TaskSign", "Flag"}, {"TaskSign", "Name"}, {"TaskSign", "Year"},
      {"TaskSign", "Period"}, {"tasksign", "FILEFLAG"}, {"", ""}, {"TaskSign", ""},
      {"[", "="}, {"TaskSign", " Flag "}};
  for (const auto& l : kLookups) {
    for (std::size_t cut : {std::size_t{0}, std::size_t{1}, std::size_t{15}, std::size_t{2047}}) {
      const std::string v = platform::ReadProfileString(l[0], l[1], "dflt", file, cut);
      if (v.size() > cut && v != "dflt") {
        std::fprintf(stderr, "value of %zu bytes past a cut of %zu\n", v.size(), cut);
        std::abort();
      }
    }
  }
  return 0;
}
