/* A C client built against the installed tree: hands the viewer a block,
 * steers it and reads back. Exits non-zero on the first failure. */
#include <agl.h>
#include <tavrixclient.h>

#include <stdio.h>

#define CHECK(x)                                                                                   \
    do {                                                                                           \
        if (!(x)) {                                                                                \
            fprintf(stderr, "client.c:%d: %s failed: %s\n", __LINE__, #x, tavrix_last_error());    \
            return 1;                                                                              \
        }                                                                                          \
    } while (0)

int main(void) {
    agl_segment* seg = NULL;
    const int ext[2] = {10, 20};
    CHECK(agl_create(&seg, NULL, AGL_FLOAT, AGL_LANG_C, 2, ext) == 0);
    float* t = agl_data(seg);
    for (int i = 0; i < 200; ++i)
        t[i] = (float)i;

    tavrix_obj* v = NULL;
    CHECK(tavrix_create(&v) == TAVRIX_OK);
    CHECK(tavrix_put_string(v, "FileName", agl_name(seg)) == TAVRIX_OK);
    const int32_t one = 1, roi[3] = {0, -5, 1000}, roi2d[4] = {2, 3, 4, 5};
    int32_t got[4] = {0};
    CHECK(tavrix_call_longs(v, "ShowWindow", &one, 1, NULL, 0) == TAVRIX_OK);
    CHECK(tavrix_call_longs(v, "SetRoi", roi, 3, NULL, 0) == TAVRIX_OK);
    CHECK(tavrix_call_longs(v, "GetRoiUb", roi, 1, got, 1) == TAVRIX_OK && got[0] == 9);
    CHECK(tavrix_call_longs(v, "SetRoi2D", roi2d, 4, NULL, 0) == TAVRIX_OK);
    CHECK(tavrix_put_long(v, "GraphType", TAVRIX_IMAGE_MAP) == TAVRIX_OK);
    t[0] = 99.0f;
    CHECK(tavrix_call_longs(v, "Update", NULL, 0, got, 1) == TAVRIX_OK && got[0] == 0);
    CHECK(tavrix_call_longs(v, "GetRoi2D", NULL, 0, got, 4) == TAVRIX_OK);
    CHECK(got[0] == 2 && got[1] == 3 && got[2] == 4 && got[3] == 5);
    CHECK(tavrix_put_long(v, "GraphType", 5) == TAVRIX_E_INVALID_ARG);
    CHECK(tavrix_release(v) == TAVRIX_OK);
    agl_close(seg);
    printf("C client: all checks pass\n");
    return 0;
}
