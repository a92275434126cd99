// Host executables for tests and demonstrations: a valid 32-bit PE image with a version
// resource of any version, a code section reaching past the host patch sites, and the two
// patch signatures in any state.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace orb::mkhost {

// The state of the two patch sites (A at 0x0023A58A, B at 0x0023B898).
enum class TSites {
  stUnpatched,   // both jumps 0x75
  stPatched,     // both jumps 0x7C
  stHalfPatched, // A 0x7C, B 0x75 (an interrupted earlier run)
  stSiteBWrong,  // A unpatched, B's first word altered (another build)
  stSiteAWrong,  // A's compare value altered, B unpatched
  stNone,        // zeros at both sites
};

struct THostSpec {
  std::array<std::uint16_t, 4> version = {2, 8, 11105, 3};  // major.minor.release.build
  TSites sites = TSites::stUnpatched;
  // A complete PE that ends before the patch sites (the code section is one page).
  bool short_image = false;
};

// The whole file's bytes.
std::string BuildHostImage(const THostSpec& host_spec);

// Parses "a.b.c.d"; false when malformed.
bool ParseVersion(const std::string& text, std::array<std::uint16_t, 4>& out);
// Parses a TSites name: unpatched, patched, half, b-wrong, a-wrong, none.
bool ParseSites(const std::string& text, TSites& out);

}  // namespace orb::mkhost
