// The main of every test executable without an application object: private
// user folders first, then the tests.
#include "TestEnvironment.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    tavrix_test::isolateUserFolders();
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
