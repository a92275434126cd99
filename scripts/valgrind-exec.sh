#!/bin/sh
# valgrind-exec.sh PROGRAM [ARGS...]: runs one test program under valgrind's memcheck. The
# valgrind build (scripts/valgrind-run.sh) names this script as the test launcher, so ctest
# starts every test program through it. Test listing (GoogleTest's discovery before the run)
# goes straight to the program: it checks nothing and would only cost time.
#
# Any error, and any leak (definite, indirect or possible; memory still reachable at exit is
# not a leak), fails the test with status 99.
# Programs the tests start themselves (a second process holding a file, the installer) are
# checked too; system programs they start (python3, sh, third-party tools) are not.
# ORB_VALGRIND_OPTS adds options (e.g. --track-origins=yes when chasing an uninitialised value).
here=$(cd "$(dirname "$0")" && pwd)
for a in "$@"; do
  case $a in --gtest_list_tests) exec "$@" ;; esac
done
# shellcheck disable=SC2086
exec valgrind --tool=memcheck --quiet --error-exitcode=99 \
  --leak-check=full --show-leak-kinds=definite,indirect,possible \
  --errors-for-leak-kinds=definite,indirect,possible \
  --num-callers=40 --trace-children=yes --trace-children-skip='/usr/*,/bin/*,/sbin/*' \
  --suppressions="$here/valgrind.supp" ${ORB_VALGRIND_OPTS:-} "$@"
