/* Writes the HDF5 files the HDF5 tests read, with the HDF5 library itself:
 *
 *   make_hdf5_samples DIR
 *
 * DIR/sample.h5:
 *   /                 attributes title = "Ocean run" (variable-length string),
 *                     version = 3 (int32)
 *   /grp/temp         float32 [3][4], chunked 2 x 2 and deflated, values
 *                     0.5 + 1.25 * i; attributes units = "K" (fixed string),
 *                     factors = 0.5, 2 (float64); dimension scales /grp/y
 *                     (float64 10, 20, 30) and /grp/x (int32 1..4)
 *   /grp/inner/deep   int16 [2][2] = -1, 2, -3, 4
 *   /big              int64 [3] = 2^53 + 1, 5, -7
 *   /ubig             uint64 [2] = 7, 2^64 - 1
 *   /bytes            int8 [2][3] = -3 .. 2
 *   /cube             uint16 [2][3][4] = 0 .. 23
 *   /one              float64 scalar 2.5
 *   /pairs            compound {int32 a; float64 b} [2]
 *   /names            fixed string (3 bytes) [2]
 *   /ragged           variable-length int32 [2]
 *
 * DIR/grouped.h5: data only inside groups, as many programs write it:
 *   /notes            fixed string, refused
 *   /run/meta/count   int32 scalar
 *   /run/step1/field  float64 [2][3] = 1 .. 6
 *
 * DIR/huge.h5: a data set of more than 2^30 elements, read plane by plane:
 *   /huge             float32 [2048][1024][1024] (8 GiB), chunked 1 x 256 x
 *                     256; only plane 1 is written (value 1000 r + c at row
 *                     r, column c, so the file is small), the others hold
 *                     the fill value 0
 *
 * Exit status 0 when every file was written. */
#include <hdf5.h>
#include <hdf5_hl.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>

static int failed = 0;

static void check(herr_t status, const char* what) {
    if (status < 0) {
        fprintf(stderr, "make_hdf5_samples: %s failed\n", what);
        failed = 1;
    }
}

static hid_t simple(int rank, const hsize_t* dims) {
    return H5Screate_simple(rank, dims, NULL);
}

static hid_t dataSet(hid_t where, const char* name, hid_t type, int rank, const hsize_t* dims,
                     hid_t create, const void* values, hid_t memoryType) {
    hid_t space = rank == 0 ? H5Screate(H5S_SCALAR) : simple(rank, dims);
    hid_t set = H5Dcreate2(where, name, type, space, H5P_DEFAULT,
                           create >= 0 ? create : H5P_DEFAULT, H5P_DEFAULT);
    if (set < 0) {
        fprintf(stderr, "make_hdf5_samples: %s cannot be made\n", name);
        failed = 1;
    } else if (values) {
        check(H5Dwrite(set, memoryType, H5S_ALL, H5S_ALL, H5P_DEFAULT, values), name);
    }
    H5Sclose(space);
    return set;
}

static void attribute(hid_t where, const char* name, hid_t type, hsize_t count, const void* values,
                      hid_t memoryType) {
    hid_t space = count == 1 ? H5Screate(H5S_SCALAR) : simple(1, &count);
    hid_t a = H5Acreate2(where, name, type, space, H5P_DEFAULT, H5P_DEFAULT);
    check(H5Awrite(a, memoryType, values), name);
    H5Aclose(a);
    H5Sclose(space);
}

static void writeSample(const char* path) {
    hid_t file = H5Fcreate(path, H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
    if (file < 0) {
        failed = 1;
        return;
    }
    /* Root attributes. */
    hid_t vstring = H5Tcopy(H5T_C_S1);
    H5Tset_size(vstring, H5T_VARIABLE);
    const char* title = "Ocean run";
    attribute(file, "title", vstring, 1, &title, vstring);
    const int32_t version = 3;
    attribute(file, "version", H5T_STD_I32LE, 1, &version, H5T_NATIVE_INT32);

    /* /grp/temp, chunked and deflated, with two scales. */
    hid_t grp = H5Gcreate2(file, "grp", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
    float temp[12];
    for (int i = 0; i < 12; ++i)
        temp[i] = 0.5f + 1.25f * (float)i;
    const hsize_t tempDims[2] = {3, 4}, chunk[2] = {2, 2};
    hid_t create = H5Pcreate(H5P_DATASET_CREATE);
    check(H5Pset_chunk(create, 2, chunk), "chunk");
    check(H5Pset_deflate(create, 6), "deflate");
    hid_t t = dataSet(grp, "temp", H5T_IEEE_F32LE, 2, tempDims, create, temp, H5T_NATIVE_FLOAT);
    H5Pclose(create);
    hid_t fstring = H5Tcopy(H5T_C_S1);
    H5Tset_size(fstring, 1);
    attribute(t, "units", fstring, 1, "K", fstring);
    const double factors[2] = {0.5, 2.0};
    attribute(t, "factors", H5T_IEEE_F64LE, 2, factors, H5T_NATIVE_DOUBLE);
    const double yValues[3] = {10, 20, 30};
    const int32_t xValues[4] = {1, 2, 3, 4};
    const hsize_t three = 3, four = 4;
    hid_t y = dataSet(grp, "y", H5T_IEEE_F64LE, 1, &three, -1, yValues, H5T_NATIVE_DOUBLE);
    hid_t x = dataSet(grp, "x", H5T_STD_I32LE, 1, &four, -1, xValues, H5T_NATIVE_INT32);
    check(H5DSset_scale(y, "y"), "y scale");
    check(H5DSset_scale(x, "x"), "x scale");
    check(H5DSattach_scale(t, y, 0), "attach y");
    check(H5DSattach_scale(t, x, 1), "attach x");
    H5Dclose(x);
    H5Dclose(y);
    H5Dclose(t);
    hid_t inner = H5Gcreate2(grp, "inner", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
    const int16_t deep[4] = {-1, 2, -3, 4};
    const hsize_t twoByTwo[2] = {2, 2};
    H5Dclose(dataSet(inner, "deep", H5T_STD_I16BE, 2, twoByTwo, -1, deep, H5T_NATIVE_INT16));
    H5Gclose(inner);
    H5Gclose(grp);

    /* 64-bit integers, read as doubles. */
    const int64_t big[3] = {((int64_t)1 << 53) + 1, 5, -7};
    H5Dclose(dataSet(file, "big", H5T_STD_I64LE, 1, &three, -1, big, H5T_NATIVE_INT64));
    const uint64_t ubig[2] = {7, UINT64_MAX};
    const hsize_t two = 2;
    H5Dclose(dataSet(file, "ubig", H5T_STD_U64LE, 1, &two, -1, ubig, H5T_NATIVE_UINT64));

    const int8_t bytes[6] = {-3, -2, -1, 0, 1, 2};
    const hsize_t twoByThree[2] = {2, 3};
    H5Dclose(dataSet(file, "bytes", H5T_STD_I8LE, 2, twoByThree, -1, bytes, H5T_NATIVE_INT8));
    uint16_t cube[24];
    for (int i = 0; i < 24; ++i)
        cube[i] = (uint16_t)i;
    const hsize_t cubeDims[3] = {2, 3, 4};
    H5Dclose(dataSet(file, "cube", H5T_STD_U16LE, 3, cubeDims, -1, cube, H5T_NATIVE_UINT16));
    const double one = 2.5;
    H5Dclose(dataSet(file, "one", H5T_IEEE_F64LE, 0, NULL, -1, &one, H5T_NATIVE_DOUBLE));

    /* Listed, never shown. */
    hid_t pair = H5Tcreate(H5T_COMPOUND, 12);
    H5Tinsert(pair, "a", 0, H5T_STD_I32LE);
    H5Tinsert(pair, "b", 4, H5T_IEEE_F64LE);
    H5Dclose(dataSet(file, "pairs", pair, 1, &two, -1, NULL, pair));
    H5Tclose(pair);
    hid_t name3 = H5Tcopy(H5T_C_S1);
    H5Tset_size(name3, 3);
    H5Dclose(dataSet(file, "names", name3, 1, &two, -1, "ab\0cd", name3));
    H5Tclose(name3);
    hid_t ragged = H5Tvlen_create(H5T_STD_I32LE);
    H5Dclose(dataSet(file, "ragged", ragged, 1, &two, -1, NULL, ragged));
    H5Tclose(ragged);

    H5Tclose(fstring);
    H5Tclose(vstring);
    check(H5Fclose(file), "close");
}

static void writeGrouped(const char* path) {
    hid_t file = H5Fcreate(path, H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
    if (file < 0) {
        failed = 1;
        return;
    }
    hid_t text = H5Tcopy(H5T_C_S1);
    H5Tset_size(text, 4);
    const hsize_t one = 1;
    H5Dclose(dataSet(file, "notes", text, 1, &one, -1, "note", text));
    H5Tclose(text);
    hid_t run = H5Gcreate2(file, "run", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
    hid_t meta = H5Gcreate2(run, "meta", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
    const int32_t count = 7;
    H5Dclose(dataSet(meta, "count", H5T_STD_I32LE, 0, NULL, -1, &count, H5T_NATIVE_INT32));
    H5Gclose(meta);
    hid_t step = H5Gcreate2(run, "step1", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
    const double field[6] = {1, 2, 3, 4, 5, 6};
    const hsize_t twoByThree[2] = {2, 3};
    H5Dclose(dataSet(step, "field", H5T_IEEE_F64LE, 2, twoByThree, -1, field, H5T_NATIVE_DOUBLE));
    H5Gclose(step);
    H5Gclose(run);
    check(H5Fclose(file), "close");
}

static void writeHuge(const char* path) {
    hid_t file = H5Fcreate(path, H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
    if (file < 0) {
        failed = 1;
        return;
    }
    const hsize_t dims[3] = {2048, 1024, 1024}, chunk[3] = {1, 256, 256};
    hid_t create = H5Pcreate(H5P_DATASET_CREATE);
    check(H5Pset_chunk(create, 3, chunk), "huge chunks");
    hid_t set = dataSet(file, "huge", H5T_IEEE_F32LE, 3, dims, create, NULL, 0);
    static float plane[1024 * 1024];
    for (int r = 0; r < 1024; ++r)
        for (int c = 0; c < 1024; ++c)
            plane[r * 1024 + c] = (float)(1000 * r + c);
    const hsize_t start[3] = {1, 0, 0}, count[3] = {1, 1024, 1024};
    hid_t space = H5Dget_space(set);
    hid_t memory = simple(3, count);
    check(H5Sselect_hyperslab(space, H5S_SELECT_SET, start, NULL, count, NULL), "huge slab");
    check(H5Dwrite(set, H5T_NATIVE_FLOAT, memory, space, H5P_DEFAULT, plane), "huge plane");
    H5Sclose(memory);
    H5Sclose(space);
    H5Dclose(set);
    H5Pclose(create);
    H5Fclose(file);
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fputs("usage: make_hdf5_samples DIR\n", stderr);
        return 2;
    }
    char path[4096];
    snprintf(path, sizeof path, "%s/sample.h5", argv[1]);
    writeSample(path);
    snprintf(path, sizeof path, "%s/grouped.h5", argv[1]);
    writeGrouped(path);
    snprintf(path, sizeof path, "%s/huge.h5", argv[1]);
    writeHuge(path);
    return failed;
}
