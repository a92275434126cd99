// The compatibility patch of host build 2.8.11105.3: two conditional jumps after a
// comparison with 2003 are turned from "not equal" (0x75) into "less than" (0x7C).
#pragma once

#include <cstdint>
#include <string>

namespace orb::installer {

// Both signatures are 12 bytes: word 1, the value 2003, then the jump opcode with the
// following bytes. The patched byte is the jump opcode, 8 bytes into the signature.
struct TPatchSite {
  std::uint32_t offset;       // file offset of the signature
  std::uint32_t word1;
  std::uint32_t word3_unpatched;
  std::uint32_t word3_patched;
};
constexpr std::uint32_t kPatchCompareValue = 2003;  // word 2 of both signatures
constexpr std::uint32_t kPatchJumpOffset = 8;       // byte written, from the signature
constexpr std::uint8_t kPatchByte = 0x7C;           // JL
constexpr TPatchSite kPatchSiteA = {0x0023A58A, 0x3D14EBFF, 0x458D0D75, 0x458D0D7C};
constexpr TPatchSite kPatchSiteB = {0x0023B898, 0x40788104, 0x19BB2475, 0x19BB247C};

enum class TPatchResult { prFinished, prWrongVersion, prInUse };

// Patches RootDir\Zentab04.exe (RootDir without trailing backslash) and shows exactly one
// message: finished, wrong version (a signature does not match, or there is no
// Zentab04.exe), or in use (any error opening, reading, writing or closing).
TPatchResult PatchHost(const std::string& RootDir);

}  // namespace orb::installer
