// The terminal user interface of the POSIX build.
#include "platform/ui.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <sstream>

#include "platform/backend.h"
#include "platform/fs.h"
#include "support/ScratchDir.h"

namespace {

using namespace platform;

class TerminalUi : public ::testing::Test {
 protected:
  void SetUp() override { setenv("LC_ALL", "C.UTF-8", 1); }
  void TearDown() override {
    std::cin.rdbuf(old_cin_);
    unsetenv("LC_ALL");
  }
  void Input(const std::string& text) {
    input_.str(text);
    old_cin_ = std::cin.rdbuf(input_.rdbuf());
    std::cin.clear();
  }
  std::istringstream input_;
  std::streambuf* old_cin_ = std::cin.rdbuf();
};

TEST_F(TerminalUi, MessageBoxesPrintCaptionIconAndText) {
  const struct {
    std::uint32_t flags;
    const char8_t* icon;
    int answer;
  } cases[] = {
      {kMbOk | kMbIconWarning, u8"(警告)", kIdOk},
      {kMbOk | kMbIconInformation, u8"(信息)", kIdOk},
      {kMbOk | kMbIconError, u8"(错误)", kIdOk},
      {kMbOkCancel | kMbIconQuestion, u8"(询问)", kIdOk},
      {kMbRetryCancel | kMbIconWarning, u8"(警告)", kIdCancel},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags);
    ::testing::internal::CaptureStdout();
    int answer = backend::SystemUserInterface().ShowMessageBox("安装完毕。", "参数安装", c.flags);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(answer, c.answer);
    EXPECT_NE(out.find(reinterpret_cast<const char*>(u8"[参数安装]")), std::string::npos) << out;
    EXPECT_NE(out.find(reinterpret_cast<const char*>(c.icon)), std::string::npos) << out;
    EXPECT_NE(out.find(reinterpret_cast<const char*>(u8"安装完毕。")), std::string::npos) << out;
  }
}

TEST_F(TerminalUi, FolderDialogReadsALineAndAsksAgainWhenRefused) {
  orbtest::ScratchDir dir;
  ASSERT_TRUE(dir.ok());
  BrowseRequest req;
  req.title = "请选择";
  req.accept = [](const std::string& f) { return f.find("refuse") == std::string::npos; };
  // A missing folder and a refused one are asked again; the third line is taken.
  Input(dir.Join("missing") + "\n" + dir.path() + "\\refuse\n" + dir.path() + "\n");
  ASSERT_EQ(CreateDir(dir.Join("refuse")), 0u);
  std::string folder;
  ::testing::internal::CaptureStdout();
  bool ok = backend::SystemUserInterface().BrowseForFolder(req, folder);
  ::testing::internal::GetCapturedStdout();
  EXPECT_TRUE(ok);
  EXPECT_EQ(folder, dir.path());

  for (const char* text : {"\n", "", "/no/such/folder\n"}) {
    SCOPED_TRACE(text);
    std::cin.rdbuf(old_cin_);
    Input(text);
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(backend::SystemUserInterface().BrowseForFolder(req, folder));
    ::testing::internal::GetCapturedStdout();
  }
}

}  // namespace
