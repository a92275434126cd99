// Compiled into every test program of the POSIX build (an INTERFACE source of
// orb_test_support): a test program started by hand rather than through ctest gets the
// suite's own prefix as well, so that no test ever reads or writes the user's ~/.wine.
// An explicit WINEPREFIX is kept.
#include <cstdlib>

#ifdef ORB_BINARY_DIR
namespace {

struct DefaultPrefix {
  DefaultPrefix() { setenv("WINEPREFIX", ORB_BINARY_DIR "/test-prefix", 0); }
} g_default_prefix;

}  // namespace
#endif
