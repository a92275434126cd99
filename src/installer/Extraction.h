// The installer's seam to the zip engine: extract a whole archive into a folder.
// The real implementation drives a TUnZIP component; the flow's tests substitute their own.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace orb::installer {

// What went wrong with single entries. The engine reports entry failures through its
// OnError event and carries on with the next entry, so an extraction that "returns
// normally" may still have lost files: the flow must look here.
struct TExtractionOutcome {
  struct Failure {
    std::string entry;    // the entry's name as stored (GBK); empty for the package itself
    std::string message;  // the engine's message
  };
  std::vector<Failure> failures;
  bool Succeeded() const { return failures.empty(); }
};

class Extraction {
 public:
  virtual ~Extraction() = default;
  // Extracts every entry ("*.*") of `archive_file` below `extract_dir`, replacing existing
  // files without asking. Every entry must lie under the folder `top_folder` (the package's
  // own shape); a package with an entry elsewhere, with no entries, or whose headers are
  // damaged is not extracted at all and comes back as failures. Raises for a failure that
  // ends the extraction as a whole.
  virtual TExtractionOutcome Extract(const std::string& archive_file,
                                     const std::string& extract_dir,
                                     const std::string& top_folder) = 0;
};

// The engine's text for one of its message ids (archive/MessageIds.h); "#id" when the
// program's string table lacks it.
std::string EngineMessage(int id);

// A TUnZIP-backed extraction.
std::unique_ptr<Extraction> MakeUnZipExtraction();

}  // namespace orb::installer
