// A whole archive through the engine: type detection, the listing walk, a test pass and an
// extraction into a scratch folder, with a fixed password for encrypted entries. Afterwards
// nothing may exist on drive C: outside the scratch folder but the archive itself and the
// prefix's fixed folders: an entry name must never lead a write elsewhere.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "_OrbLib/OrbExcept.h"
#include "archive/arxUnZIP.h"

namespace {

void Configure(orb::TUnZIP& unzip, const std::string& archive) {
  unzip.SetPasswords({"secret"});
  unzip.SetArchiveFile(archive);
  unzip.SetExtractDir("C:\\work\\out");
  unzip.SetConfirmOverwrites(false);
  unzip.SetOverwriteMode(orb::TOverwriteMode::omOverwrite);
  unzip.SetFileSpec({"*.*"});
  unzip.OnError = [](orb::TObject*, const std::string&, const std::string&, const std::string&,
                     int) {};
  unzip.OnEnd = [](orb::TObject*, const std::string&, bool) {};
}

bool Allowed(const std::string& rel) {
  if (rel == "work" || rel == "work/in.zip" || rel == "work/out") return true;
  if (rel.rfind("work/out/", 0) == 0) return true;
  // The prefix's own folders (users\<name>\Temp); a file left in Temp is a leak.
  if (rel == "users") return true;
  if (rel.rfind("users/", 0) == 0 && rel.find("/Temp/") == std::string::npos) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto& prefix = orbfuzz::Prefix::Get();
  const std::string work = prefix.drive_c() + "/work";
  orbfuzz::ResetDir(work);
  orbfuzz::WriteUnixFile(work + "/in.zip", data, size);
  const std::string archive = "C:\\work\\in.zip";

  for (int pass = 0; pass < 3; ++pass) {
    try {
      orb::TUnZIP unzip(nullptr);
      Configure(unzip, archive);
      if (pass == 0) {
        std::vector<orb::TZipListItem> items;
        unzip.List(items);
      } else {
        unzip.SetTestOnly(pass == 1);
        unzip.Extract();
      }
    } catch (const orb::Exception&) {
      // Refusals before the walk (not a zip, cannot be opened) end the pass.
    }
  }

  for (const std::string& rel : orbfuzz::ListTree(prefix.drive_c())) {
    if (!Allowed(rel)) {
      std::fprintf(stderr, "written outside the extraction folder: C:/%s\n", rel.c_str());
      std::abort();
    }
  }
  return 0;
}
