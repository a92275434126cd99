// The extraction seam over the real zip engine: a complete archive extracts without
// failures; an entry that fails its CRC check or cannot be decoded is reported by name, so
// that the installer never takes a partial package for a complete one.
#include "installer/Extraction.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "installer/InstallerTestEnv.h"
#include "support/ZipBuilder.h"

namespace orb::installer {
namespace {

using test::TestMachine;

// An archive of stored entries (method 99: the data as it is, which no decoder takes); `crc`
// replaces the right CRC-32 where given.
struct Entry {
  std::string name;
  std::string data;
  std::uint16_t method = 0;
  std::int64_t crc = -1;
};
std::string Zip(const std::vector<Entry>& entries) {
  orbtest::ZipBuilder b;
  for (const Entry& e : entries) {
    orbtest::ZipItem item;
    item.name = e.name;
    item.data = e.data;
    item.method = e.method;
    item.crc_override = e.crc;
    b.Add(item);
  }
  return b.Build();
}

TEST(UnZipExtraction, CompleteArchiveExtractsEveryEntryOverExistingFiles) {
  TestMachine machine;
  const std::string dir = machine.MakeDir("out") + "\\";
  machine.MakeDir("out\\任务.TSK");
  machine.WriteFile(dir + "任务.TSK\\a.ini", "old contents, longer than the new ones");
  const std::string zip = machine.Scratch() + "ok.zip";
  machine.WriteFile(zip, Zip({{"任务.TSK/", ""}, {"任务.TSK/a.ini", "[A]\r\nx=1\r\n"},
                              {"任务.TSK/PARA/b.prn", "打印"}}));
  TExtractionOutcome outcome = MakeUnZipExtraction()->Extract(zip, dir, "任务.tsk");
  EXPECT_TRUE(outcome.Succeeded());
  EXPECT_EQ("[A]\r\nx=1\r\n", TestMachine::ReadFile(dir + "任务.TSK\\a.ini"));
  EXPECT_EQ("打印", TestMachine::ReadFile(dir + "任务.TSK\\PARA\\b.prn"));
}

TEST(UnZipExtraction, FailedEntriesAreReportedByName) {
  TestMachine machine;
  const std::string dir = machine.MakeDir("out") + "\\";
  struct Case {
    const char* name;
    Entry bad;
  } const cases[] = {
      {"CRC mismatch", {"T/bad.ini", "payload", 0, 0x12345678}},
      {"unknown method", {"T/bad.ini", "payload", 99}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string zip = machine.Scratch() + "bad.zip";
    machine.WriteFile(zip, Zip({{"T/good.ini", "fine"}, c.bad, {"T/after.ini", "later"}}));
    TExtractionOutcome outcome = MakeUnZipExtraction()->Extract(zip, dir, "T");
    ASSERT_FALSE(outcome.Succeeded());
    bool named = false;
    for (const auto& f : outcome.failures) {
      if (f.entry.find("bad.ini") != std::string::npos) named = true;
      EXPECT_FALSE(f.message.empty()) << f.entry;
    }
    EXPECT_TRUE(named);
    EXPECT_EQ("fine", TestMachine::ReadFile(dir + "T\\good.ini"));
  }
}

}  // namespace
}  // namespace orb::installer
