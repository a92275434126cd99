// All or nothing for one install. The package is extracted into a folder of the run's own
// beside the task folder; only when every entry is there are the files moved into place, each
// replaced file moved aside first (a rename on the same volume, so it keeps its bytes,
// attributes and times), and the catalog is copied aside before it is changed. Every step
// that changes the machine is written to a journal, and the journal is on the disk before
// the step is taken, so that whatever ends a run (a failure, a kill, a power cut) the run
// itself or the next one can take every step back. The run counts as done at Commit: the
// task in place and registered. Until then a failure undoes; after it nothing is undone and
// only the run's own leftovers (the journal, the replaced files) are removed.
//
// Where it all lives: "<task path>QMVT04Setup.undo\" holds "journal.txt", the staged package
// under "new\" and the replaced files under "old\". The folder is the program's own: a
// completed run leaves none of it.
#pragma once

#include <string>
#include <vector>

#include "installer/Extraction.h"
#include "platform/file.h"

namespace orb::installer {

class InstallTransaction {
 public:
  // `task_path`: the folder that holds the task folder, with a trailing backslash.
  explicit InstallTransaction(std::string task_path);
  // Undoes what was done unless the run committed (a failure that escapes the caller).
  ~InstallTransaction();
  InstallTransaction(const InstallTransaction&) = delete;
  InstallTransaction& operator=(const InstallTransaction&) = delete;

  // Takes up what an interrupted run left below `task_path`: undoes it, or, when that run had
  // committed, removes its leftovers. Returns what could not be put back (empty: the
  // machine is as it was before that run, or as that run finished it).
  static std::vector<std::string> Recover(const std::string& task_path);

  // Opens the journal. Throws an Exception when the run's folder cannot be made.
  void Begin();
  // Where the package is extracted: the folder that stands in for the task path.
  std::string StagingDir() const;
  // A temporary file of the run, removed by the undo and at the end of the run.
  void NoteTempFile(const std::string& name);
  // Moves the staged `top_folder` into the task path. Stops at the first entry that cannot
  // be put in place, which comes back as the failure (nothing is undone here).
  TExtractionOutcome PutInPlace(const std::string& top_folder);
  // Keeps `catalog_file` (or its absence) so that the undo can put it back. Throws an
  // Exception when the file exists and cannot be read or copied.
  void SaveCatalog(const std::string& catalog_file);
  // The point after which the run counts as done; the leftovers are removed.
  void Commit();
  // Takes every step back, the last first. Returns what could not be put back.
  std::vector<std::string> Undo();

 private:
  struct Record {
    char kind;          // see Transaction.cpp
    std::string path;
    std::string saved;  // where the earlier file was kept; empty when there was none
  };
  void Note(const Record& r);
  void Write(const Record& r);
  std::string NextBackupName();
  static std::vector<std::string> UndoRecords(const std::vector<Record>& records);
  static std::vector<std::string> UndoAll(const std::string& folder,
                                          const std::vector<Record>& records);
  static void RemoveLeftovers(const std::string& folder, const std::vector<Record>& records);

  std::string task_path_;
  std::string folder_;
  std::vector<Record> records_;
  platform::ScopedFile journal_;
  int backups_ = 0;
  bool begun_ = false;
  bool done_ = false;
};

}  // namespace orb::installer
