// MatchWildcard on two arbitrary byte strings (split at the first zero byte), both ways and
// with and without names_only. Inputs are capped at 4 KiB each, about what a path can be;
// time and memory must stay bounded (libFuzzer's -timeout and -rss_limit_mb watch them).
// Swapping pattern and name is exercised too, but its answer may differ: the rules are only
// symmetric for the wildcards themselves. The full-stop adjustments look at the pattern
// first, and a '?' is taken before a '*', so ("*.", "*?.x*") matches while ("*?.x*", "*.")
// does not (fuzz/regressions/wildcard keeps that input). What must hold is that an answer
// does not change when the same question is asked again.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "archive/arxWildcard.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* p = reinterpret_cast<const char*>(data);
  const void* zero = std::memchr(p, 0, size);
  const std::size_t split = zero ? static_cast<const char*>(zero) - p : size / 2;
  std::string a(p, split);
  std::string b(p + (zero ? split + 1 : split), p + size);
  if (a.size() > 4096) a.resize(4096);
  if (b.size() > 4096) b.resize(4096);
  for (bool names_only : {false, true}) {
    const bool ab = orb::MatchWildcard(a, b, names_only);
    const bool ba = orb::MatchWildcard(b, a, names_only);
    if (ab != orb::MatchWildcard(a, b, names_only) || ba != orb::MatchWildcard(b, a, names_only)) {
      std::fprintf(stderr, "matcher answers differently the second time (names_only %d)\n",
                   names_only);
      std::abort();
    }
  }
  return 0;
}
