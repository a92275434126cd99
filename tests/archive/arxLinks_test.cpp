// Links planted in the output folder by someone who can write there: nothing is ever written
// through them. A link at a file's own name is replaced by the file; a folder link fails the
// entries below it, whatever case their names are stored in. The links are made by the
// system's ln on the Unix paths the layer resolves, so these tests run on the native build.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/UnZipFixture.h"
#include "support/ZipBuilder.h"
#include "platform/posix/internal.h"
#include "platform/process.h"

namespace {

using orbtest::Exists;
using orbtest::IsDir;
using orbtest::Read;
using orbtest::Recorder;
using orbtest::ZipBuilder;

class LinkTest : public orbtest::UnZipTest {
 protected:
  void Link(const std::string& link, const std::string& target) {
    platform::posix::UnixPath l, t;
    ASSERT_EQ(platform::posix::ToUnix(link, l), 0u);
    ASSERT_EQ(platform::posix::ToUnix(target, t), 0u);
    platform::ChildProcess ln;
    ASSERT_EQ(ln.Start("/bin/ln", {"-s", t.path, l.path}), 0u);
    ASSERT_EQ(ln.Wait(), 0u) << l.path;
  }
  bool IsLink(const std::string& path) {
    std::uint32_t a = platform::kInvalidFileAttributes;
    return platform::GetAttributes(path, a) == 0 && a != platform::kInvalidFileAttributes &&
           (a & platform::kFileAttributeReparsePoint);
  }
  int Count(const Recorder& r, int code) {
    return static_cast<int>(std::count(r.errors.begin(), r.errors.end(), code));
  }
};

TEST_F(LinkTest, FileLinksAreReplacedAndTheirTargetsKept) {
  ASSERT_EQ(platform::CreateDir(out_), 0u);
  ASSERT_EQ(orbtest::WriteWholeFile(dir_.Join("victim.txt"), "victim"), 0u);
  Link(out_ + "\\f.txt", dir_.Join("victim.txt"));
  Link(out_ + "\\dangling.txt", dir_.Join("nothing-here.txt"));
  ZipBuilder b;
  b.Add({.name = "f.txt", .data = "entry bytes"});
  b.Add({.name = "dangling.txt", .data = "also replaced"});
  int begun = 0;
  Recorder r = ExtractRecording("links.zip", b.Build(), nullptr, &begun);
  EXPECT_EQ(begun, 2);
  EXPECT_TRUE(r.errors.empty()) << ::testing::PrintToString(r.log);
  EXPECT_EQ(Read(dir_.Join("victim.txt")), "victim");
  EXPECT_FALSE(Exists(dir_.Join("nothing-here.txt")));
  EXPECT_FALSE(IsLink(out_ + "\\f.txt"));
  EXPECT_EQ(Read(out_ + "\\f.txt"), "entry bytes");
  EXPECT_EQ(Read(out_ + "\\dangling.txt"), "also replaced");
}

TEST_F(LinkTest, FolderLinksFailTheEntriesBelowThem) {
  ASSERT_EQ(platform::CreateDir(out_), 0u);
  ASSERT_EQ(platform::CreateDir(dir_.Join("elsewhere")), 0u);
  Link(out_ + "\\planted", dir_.Join("elsewhere"));
  ZipBuilder b;
  b.Add({.name = "planted/x.txt", .data = "x"});
  b.Add({.name = "PLANTED/deeper/y.txt", .data = "y"});
  b.Add({.name = "fine.txt", .data = "fine"});
  Recorder r = ExtractRecording("links.zip", b.Build());
  EXPECT_EQ(Count(r, orb::E_LINKINPATH), 2) << ::testing::PrintToString(r.log);
  EXPECT_FALSE(Exists(dir_.Join("elsewhere\\x.txt")));
  EXPECT_FALSE(Exists(dir_.Join("elsewhere\\deeper")));
  EXPECT_EQ(Read(out_ + "\\fine.txt"), "fine");
}

TEST_F(LinkTest, AnOutputFolderThatIsALinkIsNotWrittenThrough) {
  ASSERT_EQ(platform::CreateDir(dir_.Join("elsewhere")), 0u);
  Link(out_, dir_.Join("elsewhere"));
  ZipBuilder b;
  b.Add({.name = "a.txt", .data = "a"});
  Recorder r = ExtractRecording("links.zip", b.Build());
  EXPECT_EQ(Count(r, orb::E_LINKINPATH), 1) << ::testing::PrintToString(r.log);
  EXPECT_FALSE(Exists(dir_.Join("elsewhere\\a.txt")));
  EXPECT_TRUE(IsDir(dir_.Join("elsewhere")));
}

}  // namespace
