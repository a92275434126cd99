// A program without the package resource: the flow ends quietly after the host check.
#include <gtest/gtest.h>

#include "installer/Installer.h"
#include "installer/InstallerTestEnv.h"
#include "support/FakeUserInterface.h"
#include "tools/mkhost/HostImage.h"

namespace orb::installer {
namespace {

TEST(InstallerWithoutPackage, EndsWithoutMessageOrExtraction) {
  test::TestMachine machine;
  orbtest::FakeUserInterface ui;
  orbtest::ScopedUserInterface ui_scope{ui};
  const std::string host = machine.MakeDir("host");
  machine.WriteFile(host + "\\Zentab04.exe", mkhost::BuildHostImage({}));
  test::TestMachine::SetString(platform::RootKey::LocalMachine, "Software\\Kestrovan\\Zentab2004",
                               "RootDir", host);
  bool used = false;
  TInstallerServices services{[&used]() -> std::unique_ptr<Extraction> {
                                used = true;
                                return nullptr;
                              },
                              [&used]() -> std::unique_ptr<Catalog> {
                                used = true;
                                return nullptr;
                              }};
  EXPECT_EQ(0, RunInstaller(services));
  EXPECT_TRUE(ui.boxes().empty());
  EXPECT_FALSE(used);
}

}  // namespace
}  // namespace orb::installer
