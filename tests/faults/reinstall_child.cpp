// The installer run in a process of its own on the machine its parent test prepared (the
// prefix and the temporary folder come through the environment), killed at the counted call
// of the layer given as its argument. Its exit code is CountingPlan::kKilledCode when the
// kill came, RunMain's own when the run made fewer calls.
#include <string>

#include "faults/CountingPlan.h"
#include "installer/Installer.h"
#include "support/FakeUserInterface.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  orbtest::FakeUserInterface ui;
  orbtest::ScopedUserInterface ui_scope{ui};
  orb::test::CountingPlan plan(std::stoull(argv[1]), 0, true);
  return orb::installer::RunMain(orb::installer::DefaultServices());
}
