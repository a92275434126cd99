// Internal to the layer: what each backend provides to the portable seams.
#pragma once

#include "platform/clock.h"
#include "platform/ui.h"

namespace platform::backend {

Clock& SystemClock();
UserInterface& SystemUserInterface();

}  // namespace platform::backend
