// The C API is safe to call wrongly and round-trips language order.
#include "agl.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <unistd.h>

TEST(CApi, WrongCallsGiveErrorCodesNotCrashes) {
    agl_segment* seg = reinterpret_cast<agl_segment*>(1);
    const int ext[2] = {2, 3};
    EXPECT_EQ(agl_create(nullptr, "x", AGL_FLOAT, AGL_LANG_C, 2, ext), AGL_E_ARGUMENT);
    EXPECT_EQ(agl_create(&seg, "x", AGL_FLOAT, AGL_LANG_C, 2, nullptr), AGL_E_ARGUMENT);
    EXPECT_EQ(seg, nullptr) << "out is cleared on failure";
    EXPECT_EQ(agl_create(&seg, "x", AGL_FLOAT, AGL_LANG_C, 0, ext), AGL_E_ARGUMENT);
    EXPECT_EQ(agl_create(&seg, "x", AGL_FLOAT, AGL_LANG_C, 8, ext), AGL_E_ARGUMENT);
    EXPECT_EQ(agl_create(&seg, "x", AGL_FLOAT, 3, 2, ext), AGL_E_ARGUMENT);
    EXPECT_EQ(agl_create(&seg, "x", 12, AGL_LANG_C, 2, ext), AGL_E_ARGUMENT);
    const int negative[2] = {2, -3};
    EXPECT_EQ(agl_create(&seg, "x", AGL_FLOAT, AGL_LANG_C, 2, negative), AGL_E_EXTENT);
    const int huge[2] = {65536, 65536};
    EXPECT_EQ(agl_create(&seg, "x", AGL_FLOAT, AGL_LANG_C, 2, huge), AGL_E_TOO_LARGE);
    EXPECT_EQ(agl_last_error(), AGL_E_TOO_LARGE);
    EXPECT_EQ(agl_last_error(), 0);
    EXPECT_EQ(agl_open(&seg, nullptr, 1), AGL_E_ARGUMENT);
    EXPECT_EQ(agl_open(&seg, "/no/such/segment", 1), AGL_E_OPEN);
    EXPECT_EQ(agl_close(nullptr), AGL_E_ARGUMENT);
    EXPECT_EQ(agl_data(nullptr), nullptr);
    EXPECT_EQ(agl_ndims(nullptr), 0);
    EXPECT_EQ(agl_extents(nullptr, nullptr, 3), AGL_E_ARGUMENT);
    EXPECT_EQ(agl_reshape(nullptr, 1, ext, AGL_FLOAT), AGL_E_ARGUMENT);
    EXPECT_STREQ(agl_error_name(AGL_E_FORMAT), "AGL_E_FORMAT");
}

TEST(CApi, FortranClientsPassExtentsInTheirOwnOrder) {
    const std::string name = "tavrix-test/capi-" + std::to_string(getpid());
    agl_segment* seg = nullptr;
    const int ext[2] = {4, 3}; // real a(4, 3)
    ASSERT_EQ(agl_create(&seg, name.c_str(), AGL_DOUBLE, AGL_LANG_FORTRAN, 2, ext), AGL_OK);
    ASSERT_EQ(agl_set_lower_bound(seg, 0, 0), AGL_OK); // a(0:3, 3)
    EXPECT_EQ(agl_set_lower_bound(seg, 2, 0), AGL_E_RANK);
    // The element area is 4 bytes off 8-byte alignment (see agl.h): copy.
    const double v = 9.5;
    std::memcpy(static_cast<char*>(agl_data(seg)) + 8 * (1 + 4 * 2), &v, 8); // a(1, 3)

    agl_segment* view = nullptr;
    ASSERT_EQ(agl_open(&view, name.c_str(), 1), AGL_OK);
    int got[2] = {0, 0}, lb[2] = {0, 0};
    ASSERT_EQ(agl_extents(view, got, 2), AGL_OK);
    ASSERT_EQ(agl_lower_bounds(view, lb, 2), AGL_OK);
    EXPECT_EQ(got[0], 4);
    EXPECT_EQ(got[1], 3);
    EXPECT_EQ(lb[0], 0);
    EXPECT_EQ(lb[1], 1);
    double back = 0;
    std::memcpy(&back, static_cast<char*>(agl_data(view)) + 8 * 9, 8);
    EXPECT_EQ(back, 9.5);
    EXPECT_EQ(agl_set_lower_bound(view, 0, 5), AGL_E_READONLY);
    const int flat[1] = {12};
    EXPECT_EQ(agl_reshape(seg, 1, flat, AGL_DOUBLE), AGL_OK);
    EXPECT_EQ(agl_count(seg), 12);
    EXPECT_EQ(agl_close(view), AGL_OK);
    EXPECT_EQ(agl_close(seg), AGL_OK);
}
