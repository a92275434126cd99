#include "platform/version.h"

#include <gtest/gtest.h>

#include "support/ScratchDir.h"
#include "tools/mkhost/PeImage.h"

namespace {

TEST(ReadFixedFileInfo, ReadsTheVersionOfPe32AndPe32Plus) {
  orbtest::ScratchDir dir;
  for (bool plus : {false, true}) {
    SCOPED_TRACE(plus ? "PE32+" : "PE32");
    orb::mkhost::PeImageOptions o;
    o.pe32_plus = plus;
    o.file_version = std::array<std::uint16_t, 4>{2, 8, 11105, 3};
    o.strings[1] = u"with a string table beside it";
    const std::string name = dir.Join(plus ? "主机64.exe" : "Zentab04.exe");
    ASSERT_EQ(orbtest::WriteWholeFile(name, orb::mkhost::MakePeImage(o)), 0u);
    platform::FixedFileInfo info;
    ASSERT_EQ(platform::ReadFixedFileInfo(name, info), 0u);
    EXPECT_EQ(info.signature, 0xFEEF04BDu);
    EXPECT_EQ(info.file_version_ms, 0x00020008u);
    EXPECT_EQ(info.file_version_ls, 0x2B610003u);
    EXPECT_EQ(info.product_version_ms, 0x00020008u);
  }
}

TEST(ReadFixedFileInfo, FailsWithoutVersionInformation) {
  orbtest::ScratchDir dir;
  orb::mkhost::PeImageOptions no_version;
  no_version.strings[7] = u"only strings";
  ASSERT_EQ(orbtest::WriteWholeFile(dir.Join("nover.exe"), orb::mkhost::MakePeImage(no_version)), 0u);
  ASSERT_EQ(orbtest::WriteWholeFile(dir.Join("text.exe"), "MZ but nothing else"), 0u);
  orb::mkhost::PeImageOptions cut;
  cut.file_version = std::array<std::uint16_t, 4>{1, 2, 3, 4};
  std::string truncated = orb::mkhost::MakePeImage(cut);
  truncated.resize(orb::mkhost::kCodeFileOffset + 0x10);  // 16 bytes into the resources
  ASSERT_EQ(orbtest::WriteWholeFile(dir.Join("cut.exe"), truncated), 0u);
  for (const char* name : {"nover.exe", "text.exe", "cut.exe", "missing.exe"}) {
    SCOPED_TRACE(name);
    platform::FixedFileInfo info;
    EXPECT_NE(platform::ReadFixedFileInfo(dir.Join(name), info), 0u);
    EXPECT_EQ(info.file_version_ms, 0u);
  }
}

}  // namespace
