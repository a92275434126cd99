// The installer's extraction through the zip engine's TUnZIP component.
//
// The engine reports a failed entry through OnError (and a failed CRC check through OnEnd)
// and goes on with the next entry; only failures that end the extraction as a whole come
// back as exceptions. Both events are collected here so that the flow never takes a
// partly extracted package for a complete one.
#include <algorithm>

#include "archive/arxUnZIP.h"
#include "installer/Extraction.h"
#include "platform/resources.h"

namespace orb::installer {
namespace {

constexpr int kMsgCrcFailed = 25151;  // "File fails CRC check"

// The engine's text for a message id; the id itself when the string table lacks it.
std::string EngineMessage(int id) {
  std::string text = platform::LoadOwnString(static_cast<std::uint32_t>(id));
  if (text.empty()) {
    text = std::to_string(id);
    text.insert(text.begin(), '#');
  }
  return text;
}

class UnZipExtraction : public Extraction {
 public:
  TExtractionOutcome Extract(const std::string& archive_file,
                             const std::string& extract_dir) override {
    TExtractionOutcome outcome;
    auto failed = [&outcome](const std::string& entry) {
      return std::any_of(outcome.failures.begin(), outcome.failures.end(),
                         [&entry](const auto& f) { return f.entry == entry; });
    };
    auto unzip = std::make_unique<TUnZIP>(nullptr);
    unzip->OnError = [&](TObject*, const std::string& FN, const std::string& MsgEx,
                         const std::string&, int ECode) {
      outcome.failures.push_back({FN, MsgEx.empty() ? EngineMessage(ECode) : MsgEx});
    };
    unzip->OnEnd = [&](TObject*, const std::string& FN, bool CRC_PASS) {
      if (!CRC_PASS && !failed(FN)) {
        outcome.failures.push_back({FN, EngineMessage(kMsgCrcFailed)});
      }
    };
    unzip->SetArchiveFile(archive_file);
    unzip->SetExtractDir(extract_dir);
    unzip->SetConfirmOverwrites(false);
    unzip->SetOverwriteMode(TOverwriteMode::omOverwrite);
    std::vector<std::string> patterns = unzip->FileSpec();
    patterns.push_back("*.*");
    unzip->SetFileSpec(patterns);
    unzip->Extract();
    return outcome;
  }
};

}  // namespace

std::unique_ptr<Extraction> MakeUnZipExtraction() { return std::make_unique<UnZipExtraction>(); }

}  // namespace orb::installer
