// The replaceable seams of the layer: the clock, the user interface and the fault plan.
// Tests install doubles for a scope; everything else asks for the current one at each call.
#include <atomic>

#include "platform/backend.h"
#include "platform/clock.h"
#include "platform/faults.h"
#include "platform/ui.h"

namespace platform {
namespace {

std::atomic<Clock*> g_clock{nullptr};
std::atomic<UserInterface*> g_ui{nullptr};
std::atomic<FaultPlan*> g_fault_plan{nullptr};

}  // namespace

Clock& CurrentClock() {
  Clock* c = g_clock.load();
  return c != nullptr ? *c : backend::SystemClock();
}

Clock* SetClock(Clock* clock) { return g_clock.exchange(clock); }

UserInterface& CurrentUserInterface() {
  UserInterface* ui = g_ui.load();
  return ui != nullptr ? *ui : backend::SystemUserInterface();
}

UserInterface* SetUserInterface(UserInterface* ui) { return g_ui.exchange(ui); }

FaultPlan* SetFaultPlan(FaultPlan* plan) { return g_fault_plan.exchange(plan); }

std::uint32_t InjectedFault(FsCall call) {
  FaultPlan* plan = g_fault_plan.load();
  return plan != nullptr ? plan->Before(call) : 0;
}

}  // namespace platform
