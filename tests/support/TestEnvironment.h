// What every test executable does before its first test: a private settings
// store and runtime folder, so that running a test binary or ctest directly
// never reads or writes the user's own settings, and a settings file full of
// strange values in the user's home cannot change a test's outcome.
#pragma once

namespace tavrix_test {

// Points XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_CACHE_HOME and XDG_RUNTIME_DIR
// at folders under a new temporary folder (the runtime folder mode 0700, as
// Qt wants it) and removes that folder again when the process exits. Call it
// first in main, before any thread or Qt object exists.
void isolateUserFolders();

} // namespace tavrix_test
