// Case-insensitive look-ups answered from kept folder listings: what others change in a
// folder is seen at once, and filling a folder does not read it again for every new name.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <dirent.h>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/file.h"
#include "platform/fs.h"
#include "platform/posix/internal.h"
#include "platform/types.h"
#include "support/ScratchDir.h"
#include "support/posix/TestPrefix.h"

namespace {

using namespace platform;

std::string Upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

class FolderCache : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(prefix_.ok());
    box_ = prefix_.dir() + "/box";
    ASSERT_EQ(mkdir(box_.c_str(), 0755), 0);
    prefix_.Link('d', box_);
  }
  // Runs a shell command as another process.
  static void Shell(const std::string& cmd) { ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd; }
  // A miss in the folder, so that its listing is kept from now on.
  static void Warm(const std::string& folder) {
    std::uint32_t attrs = 0;
    ASSERT_EQ(GetAttributes(folder + "\\no-such-name", attrs), kErrorFileNotFound);
  }
  // The first name in readdir order that folds to `name`: the rule for names that differ
  // only by case.
  std::string FirstFolding(const std::string& name) const {
    std::string found;
    if (DIR* d = opendir(box_.c_str())) {
      while (dirent* e = readdir(d)) {
        if (Upper(e->d_name) == Upper(name)) {
          found = e->d_name;
          break;
        }
      }
      closedir(d);
    }
    return found;
  }

  orbtest::ScopedPrefix prefix_;
  std::string box_;
};

TEST_F(FolderCache, ChangesMadeOutsideTheLayerAreSeenAtOnce) {
  const std::string b = box_;
  const struct Case {
    const char* name;
    std::function<void()> change;  // made after the folder's listing was kept
    const char* ask;               // through drive D:
    std::uint32_t error;
    const char* content;           // expected when error is 0
  } cases[] = {
      {"created by another process", [&] { Shell("printf other > '" + b + "/Other.txt'"); },
       "D:\\OTHER.TXT", 0, "other"},
      {"created by a plain POSIX call", [&] { orbtest::WriteUnixFile(b + "/Plain.dat", "plain"); },
       "D:\\plain.DAT", 0, "plain"},
      {"deleted by another process",
       [&] {
         orbtest::WriteUnixFile(b + "/Gone.txt", "gone");
         Shell("rm '" + b + "/Gone.txt'");
       },
       "D:\\gone.txt", kErrorFileNotFound, nullptr},
      {"deleted by a plain POSIX call",
       [&] {
         orbtest::WriteUnixFile(b + "/Unlinked.txt", "u");
         std::uint32_t attrs = 0;
         ASSERT_EQ(GetAttributes("D:\\UNLINKED.TXT", attrs), 0u);  // known to the cache
         ASSERT_EQ(unlink((b + "/Unlinked.txt").c_str()), 0);
       },
       "D:\\unlinked.txt", kErrorFileNotFound, nullptr},
      {"renamed away",
       [&] {
         orbtest::WriteUnixFile(b + "/Before.txt", "moved");
         ASSERT_EQ(rename((b + "/Before.txt").c_str(), (b + "/After.txt").c_str()), 0);
       },
       "D:\\BEFORE.TXT", kErrorFileNotFound, nullptr},
      {"renamed to", [] {}, "D:\\after.TXT", 0, "moved"},
      {"renamed to another case only",
       [&] {
         orbtest::WriteUnixFile(b + "/Case.txt", "case");
         std::uint32_t attrs = 0;
         ASSERT_EQ(GetAttributes("D:\\CASE.TXT", attrs), 0u);
         Shell("mv '" + b + "/Case.txt' '" + b + "/cASE.txt'");
       },
       "D:\\Case.TXT", 0, "case"},
      {"folder made by another process",
       [&] { Shell("mkdir '" + b + "/Sub' && printf inner > '" + b + "/Sub/In.txt'"); },
       "D:\\SUB\\in.txt", 0, "inner"},
      {"folder removed and made again with other contents",
       [&] {
         std::uint32_t attrs = 0;
         ASSERT_EQ(GetAttributes("D:\\Sub\\IN.TXT", attrs), 0u);
         Warm("D:\\Sub");
         Shell("rm -r '" + b + "/Sub' && mkdir '" + b + "/SUB' && printf new > '" + b + "/SUB/New.txt'");
       },
       "D:\\sub\\NEW.TXT", 0, "new"},
      {"old folder's names are gone", [] {}, "D:\\sub\\in.txt", kErrorFileNotFound, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Warm("D:");
    c.change();
    std::string bytes;
    EXPECT_EQ(orbtest::ReadWholeFile(c.ask, bytes), c.error);
    if (c.error == 0) {
      EXPECT_EQ(bytes, c.content);
    }
  }
}

TEST_F(FolderCache, NamesDifferingOnlyByCaseResolveToTheFirstInFolderOrder) {
  Warm("D:");
  orbtest::WriteUnixFile(box_ + "/Twin.txt", "Twin");
  orbtest::WriteUnixFile(box_ + "/TWIN.txt", "TWIN");
  std::string first = FirstFolding("twin.txt");
  ASSERT_FALSE(first.empty());
  for (const char* ask : {"D:\\twin.txt", "D:\\tWIN.TXT"}) {
    SCOPED_TRACE(ask);
    std::string bytes;
    ASSERT_EQ(orbtest::ReadWholeFile(ask, bytes), 0u);
    EXPECT_EQ(bytes + ".txt", first);
  }
  // One of the two goes: the other is the only candidate left.
  ASSERT_EQ(unlink((box_ + "/" + first).c_str()), 0);
  std::string bytes;
  ASSERT_EQ(orbtest::ReadWholeFile("D:\\twin.TXT", bytes), 0u);
  EXPECT_NE(bytes + ".txt", first);
}

TEST_F(FolderCache, FillingAFolderThroughTheLayerDoesNotReadItPerName) {
  // The extraction pattern: test whether the name exists, create it, then use it under
  // another case. Each new name is a miss; a miss must not read the whole folder.
  Warm("D:");
  const std::uint64_t reads = posix::FolderReads();
  const int kFiles = 2000;
  for (int i = 0; i < kFiles; ++i) {
    std::string name = "D:\\File" + std::to_string(i) + ".txt";
    std::uint32_t attrs = 0;
    ASSERT_EQ(GetAttributes(name, attrs), kErrorFileNotFound) << name;
    FileHandle h = kNoFile;
    ASSERT_EQ(FileOpen(name, kGenericWrite, 0, kCreateAlways, kFileAttributeNormal, h), 0u) << name;
    FileClose(h);
    ASSERT_EQ(GetAttributes(Upper(name), attrs), 0u) << name;  // found at once
  }
  EXPECT_EQ(posix::FolderReads() - reads, 0u);
  // And the names really are on disk with the spelling they were created with.
  struct stat st;
  EXPECT_EQ(stat((box_ + "/File1999.txt").c_str(), &st), 0);
  EXPECT_NE(stat((box_ + "/FILE1999.TXT").c_str(), &st), 0);
}

TEST_F(FolderCache, ThreadsCreatingAndLookingUpInOneFolderSeeTheirNames) {
  Warm("D:");
  std::atomic<int> missed{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &missed] {
      for (int i = 0; i < 150; ++i) {
        std::string name = "D:\\t" + std::to_string(t) + "_" + std::to_string(i) + ".dat";
        FileHandle h = kNoFile;
        if (FileOpen(name, kGenericWrite, 0, kCreateNew, kFileAttributeNormal, h) != 0) {
          ++missed;
          continue;
        }
        FileClose(h);
        std::uint32_t attrs = 0;
        if (GetAttributes(Upper(name), attrs) != 0) ++missed;
      }
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(missed.load(), 0);
}

TEST_F(FolderCache, AForkedChildDoesNotTakeTheParentsChanges) {
  // The child shares the parent's open descriptors: it must not consume what the parent
  // needs to learn of the folder.
  Warm("D:");
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    orbtest::WriteUnixFile(box_ + "/Kid.txt", "kid");
    std::uint32_t attrs = 0;
    bool seen = GetAttributes("D:\\KID.TXT", attrs) == 0;
    _exit(seen ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the child did not see its own file";
  std::string bytes;
  EXPECT_EQ(orbtest::ReadWholeFile("D:\\kid.TXT", bytes), 0u);
  EXPECT_EQ(bytes, "kid");
}

}  // namespace
