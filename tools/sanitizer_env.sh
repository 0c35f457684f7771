# Sourced by tools/test.sh and tools/stress_tests.sh: how the sanitizer
# builds' tests run (suppressions for the libraries we do not build).
# Expects $root, the source tree.
export LSAN_OPTIONS="suppressions=$root/tools/lsan.supp"
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ignore_noninstrumented_modules=1 suppressions=$root/tools/tsan.supp"
