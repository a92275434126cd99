// Entry names as this system's paths, and the folders they need.
#include "archive/arxPaths.h"

#include <gtest/gtest.h>

#include "_OrbLib/OrbExcept.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "support/ScratchDir.h"

namespace {

TEST(EntryPaths, SeparatorsAndTrailingBackslashes) {
  EXPECT_EQ(orb::WithBackslash(""), "");
  EXPECT_EQ(orb::WithBackslash("C:"), "C:\\");
  EXPECT_EQ(orb::WithBackslash("C:\\"), "C:\\");
  EXPECT_EQ(orb::OemNameToAnsi("a/b/表.txt"), "a\\b\\表.txt");
}

TEST(EntryPaths, CreateDirPathMakesEveryMissingParent) {
  orbtest::ScratchDir dir;
  ASSERT_TRUE(dir.ok());
  orb::CreateDirPath(dir.Join("a\\b\\c\\"));
  std::uint32_t attr = 0;
  ASSERT_EQ(platform::GetAttributes(dir.Join("a\\b\\c"), attr), 0u);
  EXPECT_TRUE(attr & platform::kFileAttributeDirectory);
  EXPECT_NO_THROW(orb::CreateDirPath("C:"));
  try {
    orb::CreateDirPath("");
    ADD_FAILURE() << "no exception";
  } catch (const orb::Exception& e) {
    EXPECT_EQ(e.Message(), "Unable to create directory");
  }
}

}  // namespace
