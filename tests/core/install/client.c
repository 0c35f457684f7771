/* A C client of an installed libagl: creates an agl file and a shared-memory
   block, fills them, reopens each through a second handle and checks what
   comes back. Built only with the flags pkg-config gives. Exit status 0 when
   everything matches; otherwise a line on stderr says what did not. */
#include <agl.h>

#include <stdio.h>
#include <string.h>

static int failures = 0;

static void check(int ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "client: %s\n", what);
        ++failures;
    }
}

/* Fills a writable float segment of rows x cols with r * 100 + c. */
static void fill(agl_segment* seg, int rows, int cols) {
    float* v = (float*)agl_data(seg);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            v[r * cols + c] = (float)(r * 100 + c);
}

/* Opens name read-only and checks layout and every element written by fill. */
static void reopenAndCheck(const char* name, int rows, int cols) {
    agl_segment* view = NULL;
    check(agl_open(&view, name, 1) == AGL_OK, "reopen failed");
    if (!view) return;
    int ext[AGL_MAX_DIMS] = {0};
    check(agl_type(view) == AGL_FLOAT, "type changed");
    check(agl_ndims(view) == 2, "rank changed");
    check(agl_extents(view, ext, AGL_MAX_DIMS) == AGL_OK && ext[0] == rows && ext[1] == cols,
          "extents changed");
    const float* v = (const float*)agl_data(view);
    int same = v != NULL;
    for (int i = 0; same && i < rows * cols; ++i)
        same = v[i] == (float)((i / cols) * 100 + i % cols);
    check(same, "elements differ after reopening");
    check(agl_close(view) == AGL_OK, "close of the reopened segment failed");
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: client SCRATCH-FOLDER\n");
        return 2;
    }
    check(agl_version() == AGL_VERSION, "library and header versions differ");

    const int ext[2] = {3, 5};
    char path[4096];
    snprintf(path, sizeof path, "%s/client.agl", argv[1]);
    agl_segment* file = NULL;
    check(agl_create_file(&file, path, AGL_FLOAT, AGL_LANG_C, 2, ext) == AGL_OK,
          "agl_create_file failed");
    if (file) {
        fill(file, 3, 5);
        check(agl_close(file) == AGL_OK, "close of the file failed");
        reopenAndCheck(path, 3, 5);
    }

    agl_segment* block = NULL;
    check(agl_create(&block, NULL, AGL_FLOAT, AGL_LANG_C, 2, ext) == AGL_OK, "agl_create failed");
    if (block) {
        fill(block, 3, 5);
        char name[512];
        snprintf(name, sizeof name, "%s", agl_name(block));
        reopenAndCheck(name, 3, 5); /* the creator still holds the block */
        check(agl_close(block) == AGL_OK, "close of the block failed");
    }

    check(agl_open(&block, NULL, 1) == AGL_E_ARGUMENT, "a NULL name was not refused");
    check(strcmp(agl_error_name(AGL_E_FORMAT), "AGL_E_FORMAT") == 0, "wrong error name");
    return failures == 0 ? 0 : 1;
}
