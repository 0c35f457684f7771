/* Writes the HDF files the HDF tests read, with the HDF library itself (not
 * with any code of ours):
 *   make_hdf_samples DIR
 * DIR/types.hdf    a rank-2 data set of every number type the viewer maps
 *                  (3 x 4, value 10 r + c + k for the k-th), a character
 *                  set and a rank-8 set;
 * DIR/scales.hdf   "temperature" 3 x 4 float with coordinate variables for
 *                  both dimensions, a rank-1 set and a rank-3 set with a
 *                  scale, attributes "units" and "comment", a one-element
 *                  set, "ping"/"pong" whose dimensions bear each other's
 *                  names, a set with a dimension of its own name;
 * DIR/images.hdf   an 8-bit 5 x 3 raster image with a palette, a 16-bit one,
 *                  a three-component one, twelve file labels, a file
 *                  description, a file attribute and an image attribute;
 * DIR/vgroups.hdf  data sets and an image in vgroups: "Group A" (with an
 *                  attribute) holds "a" and the vgroup "Inner", which holds
 *                  "b" and "shared"; "Group B" holds "shared", the image
 *                  "img" and "Inner" again; "Loop" and "Round" hold each
 *                  other (a cycle), reached from "Group B"; "loose" is in
 *                  no vgroup.
 * Exit status 0 when every file was written. */
#include <mfhdf.h>

#include <stdio.h>
#include <string.h>

static int check(intn rc, const char* what) {
    if (rc == FAIL) fprintf(stderr, "make_hdf_samples: %s failed\n", what);
    return rc == FAIL;
}

static int writeSet(int32 sd, const char* name, int32 nt, int32 rank, int32* dims,
                    const void* data) {
    int32 start[8] = {0};
    int32 sds = SDcreate(sd, name, nt, rank, dims);
    int bad = sds == FAIL;
    if (!bad && data) bad |= check(SDwritedata(sds, start, NULL, dims, (void*)data), name);
    if (sds != FAIL) SDendaccess(sds);
    return bad;
}

static int types(const char* dir) {
    char path[4096];
    snprintf(path, sizeof path, "%s/types.hdf", dir);
    int32 sd = SDstart(path, DFACC_CREATE);
    if (sd == FAIL) return 1;
    int bad = 0;
    int32 dims[2] = {3, 4};
    struct {
        const char* name;
        int32 nt;
        int size;
    } t[] = {{"f32", DFNT_FLOAT32, 4}, {"f64", DFNT_FLOAT64, 8}, {"i8", DFNT_INT8, 1},
             {"u8", DFNT_UINT8, 1},    {"i16", DFNT_INT16, 2},   {"u16", DFNT_UINT16, 2},
             {"i32", DFNT_INT32, 4},   {"u32", DFNT_UINT32, 4},  {"c8", DFNT_CHAR8, 1}};
    for (unsigned k = 0; k < sizeof t / sizeof t[0]; ++k) {
        unsigned char buf[12 * 8];
        for (int i = 0; i < 12; ++i) {
            const int v = 10 * (i / 4) + i % 4 + (int)k;
            switch (t[k].nt) {
            case DFNT_FLOAT32: {
                float x = (float)v + 0.5f;
                memcpy(buf + 4 * i, &x, 4);
                break;
            }
            case DFNT_FLOAT64: {
                double x = v + 0.25;
                memcpy(buf + 8 * i, &x, 8);
                break;
            }
            case DFNT_INT8: {
                int8 x = (int8)-v;
                memcpy(buf + i, &x, 1);
                break;
            }
            case DFNT_UINT8: {
                uint8 x = (uint8)(200 + v);
                memcpy(buf + i, &x, 1);
                break;
            }
            case DFNT_INT16: {
                int16 x = (int16)(-1000 * v);
                memcpy(buf + 2 * i, &x, 2);
                break;
            }
            case DFNT_UINT16: {
                uint16 x = (uint16)(60000 + v);
                memcpy(buf + 2 * i, &x, 2);
                break;
            }
            case DFNT_INT32: {
                int32 x = -100000 * v;
                memcpy(buf + 4 * i, &x, 4);
                break;
            }
            case DFNT_UINT32: {
                uint32 x = 4000000000u + (uint32)v;
                memcpy(buf + 4 * i, &x, 4);
                break;
            }
            default:
                buf[i] = (unsigned char)('a' + v % 26);
                break;
            }
        }
        bad |= writeSet(sd, t[k].name, t[k].nt, 2, dims, buf);
    }
    /* Rank 8: more extents than an array may have. */
    int32 dims8[8] = {2, 2, 2, 2, 2, 2, 2, 2};
    float f8[256];
    for (int i = 0; i < 256; ++i)
        f8[i] = (float)i;
    bad |= writeSet(sd, "rank8", DFNT_FLOAT32, 8, dims8, f8);
    bad |= check(SDend(sd), "SDend types");
    return bad;
}

static int scales(const char* dir) {
    char path[4096];
    snprintf(path, sizeof path, "%s/scales.hdf", dir);
    int32 sd = SDstart(path, DFACC_CREATE);
    if (sd == FAIL) return 1;
    int bad = 0;
    int32 dims[2] = {3, 4}, start[2] = {0, 0};
    float data[12];
    for (int i = 0; i < 12; ++i)
        data[i] = (float)(i * i) / 2.0f;
    int32 sds = SDcreate(sd, "temperature", DFNT_FLOAT32, 2, dims);
    bad |= sds == FAIL || check(SDwritedata(sds, start, NULL, dims, data), "temperature");
    float lat[3] = {-10.0f, 0.0f, 10.0f};
    double lon[4] = {100.0, 110.0, 120.0, 130.0};
    int32 d0 = SDgetdimid(sds, 0), d1 = SDgetdimid(sds, 1);
    bad |= check(SDsetdimname(d0, "lat"), "dim lat") | check(SDsetdimname(d1, "lon"), "dim lon");
    bad |= check(SDsetdimscale(d0, 3, DFNT_FLOAT32, lat), "scale lat");
    bad |= check(SDsetdimscale(d1, 4, DFNT_FLOAT64, lon), "scale lon");
    bad |= check(SDsetattr(sds, "units", DFNT_CHAR8, 6, "kelvin"), "units");
    bad |= check(SDsetattr(sds, "comment", DFNT_CHAR8, 5, "hello"), "comment");
    int8 ab[2] = {65, 66};
    bad |= check(SDsetattr(sds, "letters", DFNT_INT8, 2, ab), "letters");
    SDendaccess(sds);

    int32 d1only[1] = {5};
    short line[5] = {1, 4, 9, 16, 25};
    bad |= writeSet(sd, "line", DFNT_INT16, 1, d1only, line);

    int32 d3[3] = {2, 3, 4};
    double cube[24];
    for (int i = 0; i < 24; ++i)
        cube[i] = i * 1.5;
    sds = SDcreate(sd, "cube", DFNT_FLOAT64, 3, d3);
    int32 z[3] = {0, 0, 0};
    bad |= sds == FAIL || check(SDwritedata(sds, z, NULL, d3, cube), "cube");
    int32 level[2] = {850, 500};
    int32 dl = SDgetdimid(sds, 0);
    bad |= check(SDsetdimname(dl, "level"), "dim level");
    bad |= check(SDsetdimscale(dl, 2, DFNT_INT32, level), "scale level");
    SDendaccess(sds);

    int32 one[1] = {1};
    float single = 42.0f;
    bad |= writeSet(sd, "single", DFNT_FLOAT32, 1, one, &single);

    /* Two sets whose dimensions bear each other's names, and one whose
     * dimension bears its own: none of them is a scale of the other. */
    int32 d2[1] = {3};
    float v3[3] = {1, 2, 3};
    sds = SDcreate(sd, "ping", DFNT_FLOAT32, 1, d2);
    bad |= sds == FAIL || check(SDwritedata(sds, z, NULL, d2, v3), "ping");
    bad |= check(SDsetdimname(SDgetdimid(sds, 0), "pong_dim"), "ping dim");
    SDendaccess(sds);
    sds = SDcreate(sd, "pong", DFNT_FLOAT32, 2, dims);
    bad |= sds == FAIL || check(SDwritedata(sds, start, NULL, dims, data), "pong");
    bad |= check(SDsetdimname(SDgetdimid(sds, 0), "ping"), "pong dim");
    SDendaccess(sds);
    int32 d4[1] = {4};
    sds = SDcreate(sd, "self", DFNT_FLOAT32, 1, d4);
    bad |= sds == FAIL || check(SDwritedata(sds, z, NULL, d4, data), "self");
    bad |= check(SDsetdimname(SDgetdimid(sds, 0), "self"), "self dim");
    SDendaccess(sds);
    bad |= check(SDend(sd), "SDend scales");
    /* A GR file attribute: listed after the data sets, as it is read. */
    int32 file = Hopen(path, DFACC_RDWR, 0);
    int32 gr = file == FAIL ? FAIL : GRstart(file);
    bad |= gr == FAIL || check(GRsetattr(gr, "site", DFNT_CHAR8, 4, "pier"), "scales GR attr");
    if (gr != FAIL) GRend(gr);
    if (file != FAIL) bad |= check(Hclose(file), "Hclose scales");
    return bad;
}

static int images(const char* dir) {
    char path[4096];
    snprintf(path, sizeof path, "%s/images.hdf", dir);
    int32 file = Hopen(path, DFACC_CREATE, 0);
    if (file == FAIL) return 1;
    int bad = 0;
    int32 gr = GRstart(file);
    int32 size[2] = {5, 3}, start[2] = {0, 0};
    uint8 pixels[15];
    for (int i = 0; i < 15; ++i)
        pixels[i] = (uint8)(i * 17);
    int32 ri = GRcreate(gr, "picture", 1, DFNT_UINT8, MFGR_INTERLACE_PIXEL, size);
    bad |= ri == FAIL || check(GRwriteimage(ri, start, NULL, size, pixels), "picture");
    uint8 pal[768];
    for (int i = 0; i < 256; ++i) {
        pal[3 * i] = (uint8)i;
        pal[3 * i + 1] = (uint8)(255 - i);
        pal[3 * i + 2] = (uint8)(i / 2);
    }
    int32 lut = GRgetlutid(ri, 0);
    bad |= check(GRwritelut(lut, 3, DFNT_UINT8, MFGR_INTERLACE_PIXEL, 256, pal), "lut");
    bad |= check(GRsetattr(ri, "origin", DFNT_CHAR8, 7, "scanner"), "image attr");
    GRendaccess(ri);

    uint16 wide[15];
    for (int i = 0; i < 15; ++i)
        wide[i] = (uint16)(1000 * i);
    ri = GRcreate(gr, "wide", 1, DFNT_UINT16, MFGR_INTERLACE_PIXEL, size);
    bad |= ri == FAIL || check(GRwriteimage(ri, start, NULL, size, wide), "wide");
    GRendaccess(ri);

    uint8 rgb[45] = {0};
    ri = GRcreate(gr, "colour", 3, DFNT_UINT8, MFGR_INTERLACE_PIXEL, size);
    bad |= ri == FAIL || check(GRwriteimage(ri, start, NULL, size, rgb), "colour");
    GRendaccess(ri);
    float gain = 2.5f;
    bad |= check(GRsetattr(gr, "gain", DFNT_FLOAT32, 1, &gain), "file attr");
    GRend(gr);

    int32 an = ANstart(file);
    for (int i = 0; i < 12; ++i) {
        char text[32];
        snprintf(text, sizeof text, "label number %d", i + 1);
        int32 ann = ANcreatef(an, AN_FILE_LABEL);
        bad |= ann == FAIL || check(ANwriteann(ann, text, (int32)strlen(text)), "label");
        ANendaccess(ann);
    }
    int32 ann = ANcreatef(an, AN_FILE_DESC);
    const char* desc = "A file written by make_hdf_samples.";
    bad |= ann == FAIL || check(ANwriteann(ann, desc, (int32)strlen(desc)), "description");
    ANendaccess(ann);
    ANend(an);
    bad |= check(Hclose(file), "Hclose images");
    return bad;
}

/* names.hdf: data sets whose names hold a tab, a line break and a
 * backslash, as a careless or hostile writer may give them. */
static int names(const char* dir) {
    char path[4096];
    snprintf(path, sizeof path, "%s/names.hdf", dir);
    int32 sd = SDstart(path, DFACC_CREATE);
    if (sd == FAIL) return 1;
    int32 dims[2] = {2, 2};
    const float v[4] = {1, 2, 3, 4};
    int bad = writeSet(sd, "tab\there", DFNT_FLOAT32, 2, dims, v);
    bad |= writeSet(sd, "two\nlines\\", DFNT_FLOAT32, 2, dims, v);
    bad |= check(SDend(sd), "SDend names");
    return bad;
}

/* A vgroup named name, for writing. */
static int32 newVgroup(int32 file, const char* name, const char* cls) {
    int32 vg = Vattach(file, -1, "w");
    if (vg == FAIL) return FAIL;
    if (Vsetname(vg, name) == FAIL || Vsetclass(vg, cls) == FAIL) {
        Vdetach(vg);
        return FAIL;
    }
    return vg;
}

static int vgroups(const char* dir) {
    char path[4096];
    snprintf(path, sizeof path, "%s/vgroups.hdf", dir);
    int32 sd = SDstart(path, DFACC_CREATE);
    if (sd == FAIL) return 1;
    int32 file = Hopen(path, DFACC_RDWR, 0);
    if (file == FAIL || Vstart(file) == FAIL) return 1;
    int bad = 0;
    int32 start[2] = {0, 0}, d23[2] = {2, 3}, d22[2] = {2, 2}, d3[1] = {3};
    const float v[6] = {1, 2, 3, 4, 5, 6};
    const char* names[4] = {"a", "b", "shared", "loose"};
    int32* shapes[4] = {d23, d22, d22, d3};
    int32 ranks[4] = {2, 2, 2, 1};
    int32 refs[4] = {0};
    for (int k = 0; k < 4; ++k) {
        int32 sds = SDcreate(sd, names[k], DFNT_FLOAT32, ranks[k], shapes[k]);
        bad |= sds == FAIL || check(SDwritedata(sds, start, NULL, shapes[k], (void*)v), names[k]);
        refs[k] = sds == FAIL ? 0 : SDidtoref(sds);
        if (sds != FAIL) SDendaccess(sds);
    }
    int32 gr = GRstart(file);
    int32 size[2] = {3, 2};
    uint8 pixels[6] = {0, 50, 100, 150, 200, 250};
    int32 ri = gr == FAIL ? FAIL : GRcreate(gr, "img", 1, DFNT_UINT8, MFGR_INTERLACE_PIXEL, size);
    bad |= ri == FAIL || check(GRwriteimage(ri, start, NULL, size, pixels), "img");
    uint16 imageRef = ri == FAIL ? 0 : GRidtoref(ri);
    if (ri != FAIL) GRendaccess(ri);

    int32 a = newVgroup(file, "Group A", "Experiment");
    int32 inner = newVgroup(file, "Inner", "Experiment");
    int32 b = newVgroup(file, "Group B", "");
    int32 loop = newVgroup(file, "Loop", "");
    int32 round = newVgroup(file, "Round", "");
    bad |= a == FAIL || inner == FAIL || b == FAIL || loop == FAIL || round == FAIL;
    if (!bad) {
        bad |= check(Vsetattr(a, "purpose", DFNT_CHAR8, 4, "test"), "vgroup attribute");
        bad |= check(Vaddtagref(a, DFTAG_NDG, refs[0]), "a in A");
        bad |= check(Vinsert(a, inner), "Inner in A");
        bad |= check(Vaddtagref(inner, DFTAG_NDG, refs[1]), "b in Inner");
        bad |= check(Vaddtagref(inner, DFTAG_NDG, refs[2]), "shared in Inner");
        bad |= check(Vaddtagref(b, DFTAG_NDG, refs[2]), "shared in B");
        bad |= check(Vaddtagref(b, DFTAG_RIG, imageRef), "img in B");
        bad |= check(Vinsert(b, inner), "Inner in B");
        bad |= check(Vinsert(b, loop), "Loop in B");
        bad |= check(Vinsert(loop, round), "Round in Loop");
        bad |= check(Vinsert(round, loop), "Loop in Round");
    }
    int32 all[5] = {a, inner, b, loop, round};
    for (int k = 0; k < 5; ++k)
        if (all[k] != FAIL) Vdetach(all[k]);
    if (gr != FAIL) GRend(gr);
    Vend(file);
    bad |= check(Hclose(file), "Hclose vgroups");
    bad |= check(SDend(sd), "SDend vgroups");
    return bad;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: make_hdf_samples DIR\n");
        return 2;
    }
    return types(argv[1]) | scales(argv[1]) | images(argv[1]) | names(argv[1]) | vgroups(argv[1]);
}
