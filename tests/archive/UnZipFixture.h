// What the extraction tests share: a scratch folder with an archive and an output folder,
// a component prepared as the installer prepares it, and a recorder of its events.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "archive/arxPaths.h"
#include "archive/arxUnZIP.h"
#include "platform/fs.h"
#include "support/FakeUserInterface.h"
#include "support/ScratchDir.h"

namespace orbtest {

inline bool IsDir(const std::string& p) {
  std::uint32_t a = platform::kInvalidFileAttributes;
  return platform::GetAttributes(p, a) == 0 && a != platform::kInvalidFileAttributes &&
         (a & platform::kFileAttributeDirectory);
}
inline bool Exists(const std::string& p) {
  std::uint32_t a = platform::kInvalidFileAttributes;
  return platform::GetAttributes(p, a) == 0 && a != platform::kInvalidFileAttributes;
}
inline std::string Read(const std::string& p) {
  std::string s;
  EXPECT_EQ(orbtest::ReadWholeFile(p, s), 0u) << p;
  return s;
}

// Records every event as one line, in order.
struct Recorder {
  std::vector<std::string> log;
  std::vector<int> errors;
  void Attach(orb::TUnZIP& z) {
    z.OnActivate = [this](orb::TObject*) { log.push_back("activate"); };
    z.OnDeactivate = [this](orb::TObject*) { log.push_back("deactivate"); };
    z.OnBegin = [this](orb::TObject*, const std::string& fn, int n, bool&) {
      log.push_back("begin " + std::to_string(n) + " " + orb::ExtractFileNamePart(fn));
    };
    z.OnEnd = [this](orb::TObject*, const std::string& fn, bool pass) {
      log.push_back(std::string("end ") + orb::ExtractFileNamePart(fn) + (pass ? " ok" : " bad"));
    };
    z.OnError = [this](orb::TObject*, const std::string& fn, const std::string& ex,
                       const std::string&, int code) {
      errors.push_back(code);
      log.push_back("error " + std::to_string(code) + " " + fn + (ex.empty() ? "" : " " + ex));
    };
  }
};

class UnZipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    out_ = dir_.Join("out");
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    std::string p = dir_.Join(name);
    EXPECT_EQ(orbtest::WriteWholeFile(p, bytes), 0u);
    return p;
  }
  void Prepare(orb::TUnZIP& z, const std::string& archive) {
    z.SetArchiveFile(archive);
    z.SetExtractDir(out_);
    z.SetConfirmOverwrites(false);
    z.SetOverwriteMode(orb::TOverwriteMode::omOverwrite);
    z.SetFileSpec({"*.*"});
  }
  // Writes `bytes` as the archive `name` and extracts it into out_ with a prepared component
  // (`setup` may change it first); returns the events it raised, `begun` gets Extract's result.
  Recorder ExtractRecording(const std::string& name, const std::string& bytes,
                            const std::function<void(orb::TUnZIP&)>& setup = nullptr,
                            int* begun = nullptr) {
    orb::TUnZIP z(nullptr);
    Prepare(z, Write(name, bytes));
    if (setup) setup(z);
    Recorder r;
    r.Attach(z);
    const int n = z.Extract();
    if (begun != nullptr) *begun = n;
    return r;
  }
  orbtest::ScratchDir dir_;
  std::string out_;
  orbtest::FakeUserInterface ui_;
  orbtest::ScopedUserInterface ui_guard_{ui_};
};

}  // namespace orbtest
