#include "platform/process.h"

#include <gtest/gtest.h>

#include "support/ScratchDir.h"

namespace {

TEST(ChildProcess, FeedsStdinAndReturnsTheExitCode) {
  orbtest::ScratchDir dir;
  platform::ChildProcess child;
  // orb_holdfile exits with its open's error code once its input ends.
  ASSERT_EQ(child.Start(ORB_HOLDFILE, {dir.Join("x.dat"), "rw", "rw", dir.Join("ready")}, true), 0u);
  EXPECT_EQ(child.WriteStdin("some input\n"), 0u);
  child.CloseStdin();
  EXPECT_EQ(child.Wait(), 0u);

  ASSERT_EQ(child.Start(ORB_HOLDFILE, {dir.Join("no\\such\\x.dat"), "r", "r", dir.Join("ready")}, true), 0u);
  child.CloseStdin();
  EXPECT_EQ(child.Wait(), 3u);
}

TEST(ChildProcess, WritingToAChildThatEndedIsAnErrorNotACrash) {
  platform::ChildProcess child;
  ASSERT_EQ(child.Start(ORB_HOLDFILE, {"too", "few"}, true), 0u);
  EXPECT_EQ(child.Wait(), 87u);
  EXPECT_NE(child.WriteStdin(std::string(1 << 16, 'x')), 0u);
}

TEST(ChildProcess, MissingProgramFailsToStart) {
  orbtest::ScratchDir dir;
  platform::ChildProcess child;
  EXPECT_NE(child.Start(dir.Join("no-such-program.exe"), {}), 0u);
  EXPECT_EQ(child.Wait(), 0xFFFFFFFFu);
}

}  // namespace
