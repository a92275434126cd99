// The journal is text, one record a line, "<kind> <path>[\t<saved>]", written and flushed
// before the step it describes:
//   T name          a temporary file of the run: removed
//   P folder        a folder of the task path itself that the run made (before its journal
//                   could be opened there): removed after everything else, the journal too
//   D folder        a folder the run made: removed (it is empty once the undo reaches it)
//   N file          a file the run put where none was: removed
//   R file\tsaved   a file the run replaced, moved to `saved` first: put back from there
//   C file\tsaved   the catalog, copied to `saved` (no saved: it did not exist): put back
//   K               the run committed: nothing is undone, the leftovers are removed
// Each undo step looks at what is there before it acts, so a record whose step was never
// taken (the run ended between the record and the step), and an undo that is itself cut
// short and run again, do no harm. A last line without its line end was being written when
// the run ended; its step was not taken.
#include "installer/Transaction.h"

#include <algorithm>

#include "_OrbLib/OrbExcept.h"
#include "archive/MessageIds.h"
#include "installer/OperatorTexts.h"
#include "platform/error.h"
#include "platform/gbk.h"
#include "platform/fs.h"
#include "platform/paths.h"
#include "platform/types.h"

namespace orb::installer {
namespace {

const char kFolderName[] = "QMVT04Setup.undo";
const char kJournalName[] = "journal.txt";
const char kStagingName[] = "new";
const char kSavedName[] = "old";

std::uint32_t Attributes(const std::string& path) {
  std::uint32_t a = platform::kInvalidFileAttributes;
  if (platform::GetAttributes(path, a) != 0) return platform::kInvalidFileAttributes;
  return a;
}

bool Exists(const std::string& path) { return Attributes(path) != platform::kInvalidFileAttributes; }

bool IsFolder(std::uint32_t a) {
  return a != platform::kInvalidFileAttributes && (a & platform::kFileAttributeDirectory) &&
         !(a & platform::kFileAttributeReparsePoint);
}

// Removes a file, a read-only one too; a missing file is no failure.
bool RemoveIfThere(const std::string& path) {
  const std::uint32_t a = Attributes(path);
  if (a == platform::kInvalidFileAttributes) return true;
  if (a & platform::kFileAttributeReadOnly) {
    platform::SetAttributes(path, a & ~platform::kFileAttributeReadOnly);
  }
  if (platform::RemoveFile(path) == 0) return true;
  // A link to a folder is removed as a folder on Windows.
  return (a & platform::kFileAttributeDirectory) && platform::RemoveDir(path) == 0;
}

// Removes `folder` and everything below it without following links. False when something
// stays.
bool RemoveTree(const std::string& folder) {
  const std::uint32_t a = Attributes(folder);
  if (a == platform::kInvalidFileAttributes) return true;
  if (!IsFolder(a)) return RemoveIfThere(folder);
  std::vector<std::string> names;
  {
    platform::FindHandle find;
    platform::FindData data;
    for (std::uint32_t rc = find.First(platform::PathJoin(folder, "*"), data); rc == 0;
         rc = find.Next(data)) {
      if (data.name != "." && data.name != "..") names.push_back(data.name);
    }
  }
  bool all = true;
  for (const std::string& name : names) all = RemoveTree(platform::PathJoin(folder, name)) && all;
  return platform::RemoveDir(folder) == 0 && all;
}

std::string Described(int id, const std::string& detail) {
  std::string text = EngineMessage(id);
  if (!detail.empty()) text += "（" + detail + "）";
  return text;
}

std::string SystemText(std::uint32_t rc) {
  std::string text = platform::SystemErrorText(rc);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text.empty() ? "#" + std::to_string(rc) : text;
}

}  // namespace

InstallTransaction::InstallTransaction(std::string task_path)
    : task_path_(platform::WithBackslash(task_path)),
      folder_(task_path_ + kFolderName) {}

InstallTransaction::~InstallTransaction() {
  if (begun_ && !done_) Undo();
}

std::string InstallTransaction::StagingDir() const { return platform::PathJoin(folder_, kStagingName); }

void InstallTransaction::Begin() {
  auto fail = [this](const std::string& what, std::uint32_t rc) {
    throw Exception(kMsgCannotStart + what + "：" + SystemText(rc));
  };
  begun_ = true;
  // The task path need not exist yet. Its missing folders are made first, outermost first,
  // and taken back with the rest; they go into the journal as soon as it is open.
  std::vector<std::string> missing;
  for (std::string p = platform::StripBackslash(task_path_); !Exists(p);) {
    missing.push_back(p);
    const std::size_t cut = platform::LastDelimiter(p);
    if (cut == std::string::npos) break;
    p.resize(cut);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    records_.push_back({'P', *it, ""});
    if (std::uint32_t rc = platform::CreateDir(*it); rc != 0) fail(*it, rc);
  }
  if (std::uint32_t rc = platform::CreateDir(folder_); rc != 0) fail(folder_, rc);
  platform::FileHandle h = platform::kNoFile;
  const std::string journal = platform::PathJoin(folder_, kJournalName);
  if (std::uint32_t rc = platform::FileOpen(journal, platform::kGenericWrite,
                                            platform::kFileShareRead, platform::kCreateNew,
                                            platform::kFileAttributeNormal, h);
      rc != 0) {
    fail(journal, rc);
  }
  journal_.reset(h);
  for (const Record& r : records_) Write(r);
  for (const char* name : {kStagingName, kSavedName}) {
    const std::string dir = platform::PathJoin(folder_, name);
    if (std::uint32_t rc = platform::CreateDir(dir); rc != 0) fail(dir, rc);
  }
}

void InstallTransaction::Note(const Record& r) {
  // Kept in memory first: a record whose write fails may still have reached the disk, and
  // the undo takes it back either way.
  records_.push_back(r);
  Write(r);
}

void InstallTransaction::Write(const Record& r) {
  std::string line(1, r.kind);
  if (!r.path.empty()) line += " " + r.path;
  if (!r.saved.empty()) line += "\t" + r.saved;
  line += "\r\n";
  std::uint32_t done = 0;
  std::uint32_t rc = platform::FileWrite(journal_.get(), line.data(),
                                         static_cast<std::uint32_t>(line.size()), done);
  if (rc == 0 && done != line.size()) rc = platform::kErrorDiskFull;
  if (rc == 0) rc = platform::FileFlush(journal_.get());
  if (rc != 0) throw Exception(kMsgJournalFailed + SystemText(rc));
}

std::string InstallTransaction::NextBackupName() {
  return platform::PathJoin(platform::PathJoin(folder_, kSavedName), std::to_string(++backups_));
}

void InstallTransaction::NoteTempFile(const std::string& name) { Note({'T', name, ""}); }

TExtractionOutcome InstallTransaction::PutInPlace(const std::string& top_folder) {
  TExtractionOutcome outcome;
  const std::string task_folder = platform::StripBackslash(task_path_);
  // Pre-order: a folder before what it holds. `rel` is the name below the task path, spelt
  // as the package spells it (the caller's name may differ in case).
  std::string top = top_folder;
  {
    platform::FindHandle find;
    platform::FindData data;
    if (find.First(platform::PathJoin(StagingDir(), top_folder), data) == 0) top = data.name;
  }
  std::vector<std::string> pending = {top};
  while (!pending.empty() && outcome.Succeeded()) {
    const std::string rel = pending.back();
    pending.pop_back();
    const std::string staged = platform::PathJoin(StagingDir(), rel);
    const std::string target = task_path_ + rel;
    auto fail = [&](int id, const std::string& detail) {
      outcome.failures.push_back({rel, Described(id, detail)});
    };
    const bool folder = IsFolder(Attributes(staged));
    // Nothing is written through a link: not the target's folder, nor a folder target.
    const std::size_t cut = platform::LastDelimiter(target);
    const std::string where = folder ? target : target.substr(0, cut);
    std::string link;
    if (platform::FindReparsePoint(task_folder, where, link) == 0 && !link.empty()) {
      fail(E_LINKINPATH, link);
      break;
    }
    const std::uint32_t there = Attributes(target);
    if (folder) {
      if (there == platform::kInvalidFileAttributes) {
        Note({'D', target, ""});
        if (std::uint32_t rc = platform::CreateDir(target); rc != 0) {
          fail(E_UNABLETOCREATEDIR, SystemText(rc));
          break;
        }
      } else if (!IsFolder(there)) {
        fail(E_UNABLETOCREATEDIR, SystemText(platform::kErrorAlreadyExists));
        break;
      }
      std::vector<std::string> names;
      platform::FindHandle find;
      platform::FindData data;
      for (std::uint32_t rc = find.First(platform::PathJoin(staged, "*"), data); rc == 0;
           rc = find.Next(data)) {
        if (data.name != "." && data.name != "..") names.push_back(rel + "\\" + data.name);
      }
      // Reversed, so that the stack hands them out in the order the folder listed them.
      pending.insert(pending.end(), names.rbegin(), names.rend());
      continue;
    }
    if (IsFolder(there)) {
      fail(E_FOPEN, SystemText(platform::kErrorAccessDenied));
      break;
    }
    if (there != platform::kInvalidFileAttributes) {
      const std::string saved = NextBackupName();
      Note({'R', target, saved});
      if (std::uint32_t rc = platform::MoveFileTo(target, saved, false); rc != 0) {
        fail(E_FOPEN, SystemText(rc));
        break;
      }
    } else {
      Note({'N', target, ""});
    }
    if (std::uint32_t rc = platform::MoveFileTo(staged, target, false); rc != 0) {
      fail(E_FOPEN, SystemText(rc));
      break;
    }
  }
  return outcome;
}

void InstallTransaction::SaveCatalog(const std::string& catalog_file) {
  if (!Exists(catalog_file)) {
    Note({'C', catalog_file, ""});
    return;
  }
  // Read as the catalog step will read it, so that a file another program holds fails here
  // the way it would fail there.
  platform::FileHandle probe = platform::kNoFile;
  std::uint32_t rc = platform::FileOpen(catalog_file, platform::kGenericRead,
                                        platform::kFileShareRead | platform::kFileShareWrite,
                                        platform::kOpenExisting, platform::kFileAttributeNormal,
                                        probe);
  if (rc == 0) rc = platform::FileClose(probe);
  const std::string saved = NextBackupName();
  if (rc == 0) {
    Note({'C', catalog_file, saved});
    rc = platform::CopyFileTo(catalog_file, saved, true);
  }
  if (rc != 0) throw Exception(kMsgCatalogNotSaved + catalog_file + "：" + SystemText(rc));
}

void InstallTransaction::Commit() {
  Note({'K', "", ""});
  done_ = true;
  journal_.reset();
  RemoveLeftovers(folder_, records_);
}

std::vector<std::string> InstallTransaction::Undo() {
  done_ = true;
  journal_.reset();
  return UndoAll(folder_, records_);
}

std::vector<std::string> InstallTransaction::UndoAll(const std::string& folder,
                                                     const std::vector<Record>& records) {
  std::vector<std::string> left = UndoRecords(records);
  if (!left.empty()) return left;  // the journal stays for the next run
  RemoveLeftovers(folder, records);
  if (Exists(folder)) return {folder};
  // Last, the task path's own folders, innermost first.
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    if (it->kind == 'P' && Exists(it->path) && platform::RemoveDir(it->path) != 0) {
      left.push_back(it->path);
    }
  }
  return left;
}

std::vector<std::string> InstallTransaction::UndoRecords(const std::vector<Record>& records) {
  std::vector<std::string> left;
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    const Record& r = *it;
    bool ok = true;
    switch (r.kind) {
      case 'T':
      case 'N':
        ok = RemoveIfThere(r.path);
        break;
      case 'D':
        ok = !Exists(r.path) || platform::RemoveDir(r.path) == 0;
        break;
      case 'R':
        if (Exists(r.saved)) {
          ok = RemoveIfThere(r.path) && platform::MoveFileTo(r.saved, r.path, false) == 0;
        }
        break;
      case 'C':
        if (r.saved.empty()) {
          ok = RemoveIfThere(r.path);
        } else if (Exists(r.saved)) {
          // The copy keeps the saved file's attributes and write time, which are the
          // catalog's own; a read-only catalog is made writable for it first.
          const std::uint32_t a = Attributes(r.path);
          if (a != platform::kInvalidFileAttributes && (a & platform::kFileAttributeReadOnly)) {
            platform::SetAttributes(r.path, a & ~platform::kFileAttributeReadOnly);
          }
          ok = platform::CopyFileTo(r.saved, r.path, false) == 0;
        }
        break;
      default:
        break;
    }
    if (!ok) left.push_back(r.path);
  }
  return left;
}

void InstallTransaction::RemoveLeftovers(const std::string& folder,
                                         const std::vector<Record>& records) {
  for (const Record& r : records) {
    if (r.kind == 'T') RemoveIfThere(r.path);
  }
  // The journal goes last: while any of the rest stays, the next run finds it and tries
  // again. A removal that fails is tried once more at once (a virus scanner or an indexer
  // may hold a new file for a moment).
  const std::string journal = platform::PathJoin(folder, kJournalName);
  for (int attempt = 0; attempt < 2; ++attempt) {
    bool all = RemoveTree(platform::PathJoin(folder, kStagingName));
    all = RemoveTree(platform::PathJoin(folder, kSavedName)) && all;
    if (all && RemoveIfThere(journal) && platform::RemoveDir(folder) == 0) return;
  }
}

std::vector<std::string> InstallTransaction::Recover(const std::string& task_path) {
  const std::string folder = platform::WithBackslash(task_path) + kFolderName;
  if (!Exists(folder)) return {};
  const std::string journal = platform::PathJoin(folder, kJournalName);
  std::string text;
  {
    platform::FileHandle h = platform::kNoFile;
    if (platform::FileOpen(journal, platform::kGenericRead, platform::kFileShareRead,
                           platform::kOpenExisting, platform::kFileAttributeNormal, h) == 0) {
      platform::ScopedFile file(h);
      char buffer[4096];
      std::uint32_t done = 0;
      while (platform::FileRead(h, buffer, sizeof buffer, done) == 0 && done > 0) {
        text.append(buffer, done);
      }
    }
  }
  std::vector<Record> records;
  bool committed = false;
  for (std::size_t at = 0;;) {
    const std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) break;  // the last line was never finished
    const std::string line = text.substr(at, end - at);
    at = end + 2;
    if (line.empty()) continue;
    if (line[0] == 'K') {
      committed = true;
      continue;
    }
    if (line.size() < 3 || line[1] != ' ') continue;
    Record r{line[0], line.substr(2), ""};
    if (const std::size_t tab = r.path.find('\t'); tab != std::string::npos) {
      r.saved = r.path.substr(tab + 1);
      r.path.resize(tab);
    }
    records.push_back(r);
  }
  if (!committed) return UndoAll(folder, records);
  RemoveLeftovers(folder, records);
  if (Exists(folder)) return {folder};
  return {};
}

}  // namespace orb::installer
