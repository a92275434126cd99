// The names of the engine's messages, made from the one list in messages.inc, so that an id,
// its name and its text cannot drift apart. Every engine error names its message this way.
#pragma once

namespace orb {

enum : int {
#define ORB_STRING(id, text)
#define ORB_MESSAGE(name, id, text) name = id,
#include "archive/messages.inc"
#undef ORB_MESSAGE
#undef ORB_STRING
};

}  // namespace orb
