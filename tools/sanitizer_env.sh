# Sourced by tools/test.sh and tools/stress_tests.sh: how the sanitizer
# builds' tests run (suppressions for the libraries we do not build).
# Expects $root, the source tree.
# die_after_fork=0: the viewer and the tests start other programs (the HDF
# helper, xclip, the viewer itself) from processes whose threads run; the
# child only calls exec, which ThreadSanitizer would otherwise refuse.
# atexit_sleep_ms=0: ThreadSanitizer sleeps a second at the exit of every
# process that still has a thread (the HDF helpers keep one that watches
# their parent), which made runs through the helper a second per object.
export LSAN_OPTIONS="suppressions=$root/tools/lsan.supp print_suppressions=0"
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 die_after_fork=0 ignore_noninstrumented_modules=1 atexit_sleep_ms=0 suppressions=$root/tools/tsan.supp"
