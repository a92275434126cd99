// The extraction seam over the real zip engine: a complete archive extracts without
// failures; an entry that fails its CRC check or cannot be decoded is reported by name, so
// that the installer never takes a partial package for a complete one.
#include "installer/Extraction.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "installer/InstallerTestEnv.h"

namespace orb::installer {
namespace {

using test::TestMachine;

std::uint32_t Crc32(const std::string& s) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (unsigned char b : s) {
    c ^= b;
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
  }
  return ~c;
}

void Put16(std::string& out, std::uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}
void Put32(std::string& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

struct Entry {
  Entry(std::string n, std::string d, std::uint16_t m = 0,
        std::optional<std::uint32_t> c = std::nullopt)
      : name(std::move(n)), data(std::move(d)), method(m), crc(c) {}
  std::string name;
  std::string data;
  std::uint16_t method;              // 0 = stored
  std::optional<std::uint32_t> crc;  // the right one unless set
};

// A zip of stored entries: local headers, central directory, end record.
std::string Zip(const std::vector<Entry>& entries) {
  std::string out, central;
  for (const Entry& e : entries) {
    const std::uint32_t offset = static_cast<std::uint32_t>(out.size());
    const std::uint32_t crc = e.crc.value_or(Crc32(e.data));
    std::string common;
    Put16(common, 20);        // version needed
    Put16(common, 0);         // flags
    Put16(common, e.method);
    Put16(common, 0x6000);    // time 12:00
    Put16(common, 0x306F);    // date 2004-03-15
    Put32(common, crc);
    Put32(common, static_cast<std::uint32_t>(e.data.size()));
    Put32(common, static_cast<std::uint32_t>(e.data.size()));
    Put16(common, static_cast<std::uint16_t>(e.name.size()));
    Put16(common, 0);         // extra length
    Put32(out, 0x04034B50);
    out += common + e.name + e.data;
    Put32(central, 0x02014B50);
    Put16(central, 20);       // made by
    central += common;
    Put16(central, 0);        // comment
    Put16(central, 0);        // disk
    Put16(central, 0);        // internal attributes
    Put32(central, 0x20);     // external attributes
    Put32(central, offset);
    central += e.name;
  }
  const std::uint32_t central_offset = static_cast<std::uint32_t>(out.size());
  out += central;
  Put32(out, 0x06054B50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<std::uint16_t>(entries.size()));
  Put16(out, static_cast<std::uint16_t>(entries.size()));
  Put32(out, static_cast<std::uint32_t>(central.size()));
  Put32(out, central_offset);
  Put16(out, 0);
  return out;
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
      {"CRC mismatch", {"T/bad.ini", "payload", 0, 0x12345678u}},
      {"unknown method", {"T/bad.ini", "payload", 99, std::nullopt}},
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
