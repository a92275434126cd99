// The installer's extraction through the zip engine's TUnZIP component.
//
// The engine reports a failed entry through OnError (and a failed CRC check through OnEnd)
// and goes on with the next entry; only failures that end the extraction as a whole come
// back as exceptions. Both events are collected here so that the flow never takes a
// partly extracted package for a complete one.
#include <algorithm>

#include "archive/arxPaths.h"
#include "archive/arxUnZIP.h"
#include "installer/Extraction.h"
#include "installer/OperatorTexts.h"
#include "platform/codepage.h"
#include "platform/resources.h"

namespace orb::installer {
namespace {

// Whether the stored name (normalised, '\\' separators) lies under `folder`, whose name is
// compared without regard to ASCII case, as the file system compares it.
bool UnderFolder(const std::string& name, const std::string& folder) {
  return name.size() > folder.size() && name[folder.size()] == '\\' &&
         platform::CompareTextIgnoreCase(name.substr(0, folder.size()), folder) == 0;
}

class UnZipExtraction : public Extraction {
 public:
  TExtractionOutcome Extract(const std::string& archive_file, const std::string& extract_dir,
                             const std::string& top_folder) override {
    TExtractionOutcome outcome;
    auto failed = [&outcome](const std::string& entry) {
      return std::any_of(outcome.failures.begin(), outcome.failures.end(),
                         [&entry](const auto& f) { return f.entry == entry; });
    };
    const std::string archive_name = ExtractFileNamePart(archive_file);
    auto unzip = std::make_unique<TUnZIP>(nullptr);
    unzip->OnError = [&](TObject*, const std::string& FN, const std::string& MsgEx,
                         const std::string&, int ECode) {
      // A fault of the package as a whole names the temporary archive, which means nothing
      // to the operator.
      const bool whole = FN == archive_file || FN == archive_name;
      std::string message = EngineMessage(ECode);
      if (!MsgEx.empty() && MsgEx != FN) message += "（" + MsgEx + "）";
      outcome.failures.push_back({whole ? std::string() : FN, message});
    };
    unzip->OnEnd = [&](TObject*, const std::string& FN, bool CRC_PASS) {
      if (!CRC_PASS && !failed(FN)) {
        outcome.failures.push_back({FN, EngineMessage(E_CRCERROR)});
      }
    };
    unzip->SetArchiveFile(archive_file);
    unzip->SetExtractDir(extract_dir);
    unzip->SetConfirmOverwrites(false);
    unzip->SetOverwriteMode(TOverwriteMode::omOverwrite);
    std::vector<std::string> patterns = unzip->FileSpec();
    patterns.push_back("*.*");
    unzip->SetFileSpec(patterns);

    // The package is checked whole before anything is written: a damaged walk, an empty
    // package or an entry outside the task's folder would leave a task folder that only
    // looks installed.
    std::vector<TZipListItem> items;
    unzip->List(items);
    if (!outcome.failures.empty()) return outcome;
    if (items.empty()) outcome.failures.push_back({"", kMsgEmptyPackage});
    for (const TZipListItem& item : items) {
      if (!UnderFolder(item.Name, top_folder))
        outcome.failures.push_back({item.Name, kMsgOutsideTopFolder});
    }
    if (!outcome.failures.empty()) return outcome;

    unzip->Extract();
    return outcome;
  }
};

}  // namespace

std::string EngineMessage(int id) {
  std::string text = platform::LoadOwnString(static_cast<std::uint32_t>(id));
  if (text.empty()) {
    text = std::to_string(id);
    text.insert(text.begin(), '#');
  }
  return text;
}

std::unique_ptr<Extraction> MakeUnZipExtraction() { return std::make_unique<UnZipExtraction>(); }

}  // namespace orb::installer
