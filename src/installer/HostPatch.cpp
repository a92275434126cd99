// The host executable compatibility patch.
#include "installer/HostPatch.h"

#include <memory>

#include "_OrbLib/OrbWin.h"
#include "installer/OperatorTexts.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/ui.h"

namespace orb::installer {
namespace {

const char* MessageFor(TPatchResult result) {
  switch (result) {
    case TPatchResult::prFinished:
      return kMsgFinished;
    case TPatchResult::prWrongVersion:
      return kMsgWrongVersion;
    case TPatchResult::prInUse:
      break;
  }
  return kMsgInUse;
}

bool SignatureMatches(TWin32File& file, const TPatchSite& site) {
  file.Seek(site.offset, 0);
  const auto word1 = static_cast<std::uint32_t>(file.ReadInteger());
  const auto word2 = static_cast<std::uint32_t>(file.ReadInteger());
  const auto word3 = static_cast<std::uint32_t>(file.ReadInteger());
  return word1 == site.word1 && word2 == kPatchCompareValue &&
         (word3 == site.word3_unpatched || word3 == site.word3_patched);
}

TPatchResult Patch(const std::string& file_name) {
  // Only an existing executable is opened: opening for update would otherwise create an
  // empty Zentab04.exe in a folder that holds only ZentabE.exe.
  if (!platform::FileExists(file_name)) return TPatchResult::prWrongVersion;
  auto file = std::make_unique<TWin32File>();
  // Read and write access; other processes may only read while we hold it.
  file->Open(file_name, false, true);
  // Both sites are verified before either is written.
  if (!SignatureMatches(*file, kPatchSiteA)) return TPatchResult::prWrongVersion;
  if (!SignatureMatches(*file, kPatchSiteB)) return TPatchResult::prWrongVersion;
  // The two bytes go together or not at all: a host with one site patched is neither the
  // build it was nor the fixed one. Should the second write fail, the first byte is put
  // back before the failure is reported.
  std::uint8_t original[2] = {};
  int written = 0;
  try {
    for (const TPatchSite& site : {kPatchSiteA, kPatchSiteB}) {
      file->Seek(site.offset + kPatchJumpOffset, 0);
      file->ReadBuffer(&original[written], 1);
      file->Seek(site.offset + kPatchJumpOffset, 0);
      file->WriteFill(kPatchByte, 1);
      ++written;
    }
    file->Close();  // explicitly, so that a failing close is reported
  } catch (...) {
    if (written == 1) {
      try {
        file->Seek(kPatchSiteA.offset + kPatchJumpOffset, 0);
        file->WriteFill(original[0], 1);
      } catch (...) {
      }
    }
    throw;
  }
  return TPatchResult::prFinished;
}

}  // namespace

TPatchResult PatchHost(const std::string& RootDir) {
  TPatchResult result;
  try {
    result = Patch(RootDir + "\\Zentab04.exe");
  } catch (const std::exception&) {
    result = TPatchResult::prInUse;
  }
  platform::CurrentUserInterface().ShowMessageBox(MessageFor(result), kCaption,
                                                  platform::kMbOk | platform::kMbIconInformation);
  return result;
}

}  // namespace orb::installer
