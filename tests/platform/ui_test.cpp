#include "platform/ui.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "support/FakeUserInterface.h"

namespace {

TEST(Seams, GuardsInstallAndRestoreDoubles) {
  platform::UserInterface& system_ui = platform::CurrentUserInterface();
  {
    orbtest::FakeUserInterface fake;
    orbtest::ScopedUserInterface guard(fake);
    EXPECT_EQ(&platform::CurrentUserInterface(), &fake);
    {
      orbtest::FakeUserInterface inner;
      orbtest::ScopedUserInterface inner_guard(inner);
      EXPECT_EQ(&platform::CurrentUserInterface(), &inner);
    }
    EXPECT_EQ(&platform::CurrentUserInterface(), &fake);
  }
  EXPECT_EQ(&platform::CurrentUserInterface(), &system_ui);

  orbtest::FakeClock clock(platform::LocalTime{2004, 2, 0, 29, 23, 59, 58, 0}, 100);
  clock.SetTickStep(10);
  {
    orbtest::ScopedClock guard(clock);
    EXPECT_EQ(platform::GetLocalTime().day, 29);
    EXPECT_EQ(platform::GetTickCount(), 100u);
    EXPECT_EQ(platform::GetTickCount(), 110u);
  }
  EXPECT_NE(&platform::CurrentClock(), &clock);
}

TEST(FakeUserInterface, RecordsBoxesAndAnswersFromTheScript) {
  orbtest::FakeUserInterface ui;
  ui.QueueBoxAnswer(platform::kIdCancel);
  EXPECT_EQ(ui.ShowMessageBox("文本", "警告", platform::kMbIconWarning), platform::kIdCancel);
  EXPECT_EQ(ui.ShowMessageBox("second", "cap", platform::kMbOk), platform::kIdOk);
  ui.ProcessMessages();
  ASSERT_EQ(ui.boxes().size(), 2u);
  EXPECT_EQ(ui.boxes()[0].text, "文本");
  EXPECT_EQ(ui.boxes()[0].caption, "警告");
  EXPECT_EQ(ui.boxes()[0].flags, platform::kMbIconWarning);
  EXPECT_EQ(ui.process_messages_count(), 1);
}

TEST(FakeUserInterface, FolderAnswersPassTheRequestsAcceptLikeTheDialog) {
  orbtest::FakeUserInterface ui;
  ui.QueueFolder("\\\\server\\share");
  ui.QueueFolder("C:\\Host");
  ui.QueueBrowseCancel();
  platform::BrowseRequest req;
  req.title = "选择文件夹";
  req.accept = [](const std::string& f) { return f.rfind("\\\\", 0) != 0; };
  std::string folder;
  ASSERT_TRUE(ui.BrowseForFolder(req, folder));
  EXPECT_EQ(folder, "C:\\Host");
  EXPECT_EQ(ui.refused(), std::vector<std::string>{"\\\\server\\share"});
  EXPECT_FALSE(ui.BrowseForFolder(req, folder));
  EXPECT_FALSE(ui.BrowseForFolder(req, folder));  // nothing queued: cancel
  ASSERT_EQ(ui.browse_requests().size(), 3u);
  EXPECT_EQ(ui.browse_requests()[0].title, "选择文件夹");
}

}  // namespace
