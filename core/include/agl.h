/*
 * agl.h - hand arrays to the Tavrix viewer from C and Fortran programs.
 *
 * A simulation creates a named segment (a block of shared memory, or an agl
 * file), fills its elements in place and tells the viewer the name; the viewer
 * and its graph control map the same memory and show it without copying.
 *
 *   agl_segment *seg;
 *   int ext[2] = {ny, nx};                 C order: slowest-varying first
 *   if (agl_create(&seg, "heat", AGL_FLOAT, AGL_LANG_C, 2, ext) != 0) ...
 *   float *t = agl_data(seg);              t[j * nx + i] = ...
 *   ...
 *   agl_close(seg);                        the block lives while anyone holds it
 *
 * Extents and lower bounds are always passed in the order the program's own
 * language declares them: for AGL_LANG_C slowest-varying first (float a[ny][nx]
 * gives {ny, nx}); for AGL_LANG_FORTRAN first subscript first (real a(nx, ny)
 * gives {nx, ny}). The header in memory always stores them slowest first.
 *
 * Alignment: the elements start 12 + 8 x (slots) bytes into the segment, so
 * they are 4-byte aligned but never 8-byte aligned. x86-64 and ARM64 read and
 * write misaligned doubles directly; strictly portable C copies them with
 * memcpy. Fortran compilers handle it when the array is passed with
 * c_f_pointer on these machines.
 *
 * Every function that can fail returns 0 on success or an AGL_E_* code, and
 * also records the code for agl_last_error(). Null pointers and bad arguments
 * give error codes, never a crash.
 *
 * Shared-memory names: a segment name maps to the POSIX shared-memory object
 * "/agl-" + name, with '%' written "%25" and '/' written "%2F"; longer than
 * 250 characters it becomes "/agl-" + the first 200 encoded characters + "-" +
 * 16 hex digits of the 64-bit FNV-1a hash of the name. Names are at most 512
 * bytes: a longer one is refused with AGL_E_OPEN, never cut.
 */
#ifndef AGL_H
#define AGL_H

/* The version of this header. agl_version() gives the library's, so a program
   can check at run time that it runs against the library it was built for:
   the major numbers must agree (the library's SONAME carries the major). */
#define AGL_VERSION_MAJOR 1
#define AGL_VERSION_MINOR 1
#define AGL_VERSION_PATCH 0
#define AGL_VERSION (AGL_VERSION_MAJOR * 10000 + AGL_VERSION_MINOR * 100 + AGL_VERSION_PATCH)

/* Marks the functions libagl exports; everything else in it stays hidden. */
#if defined(_WIN32)
#ifdef AGL_BUILDING_LIBRARY
#define AGL_API __declspec(dllexport)
#else
#define AGL_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) && __GNUC__ >= 4
#define AGL_API __attribute__((visibility("default")))
#else
#define AGL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Element types. */
#define AGL_UCHAR 4096
#define AGL_CHAR 4097
#define AGL_USHORT 4098
#define AGL_SHORT 4099
#define AGL_ULONG 4100
#define AGL_LONG 4101
#define AGL_FLOAT 4102
#define AGL_DOUBLE 4103

/* Index languages. */
#define AGL_LANG_C 1
#define AGL_LANG_FORTRAN 2

/* Error codes. AGL_E_ARGUMENT is the C API's own: a null pointer or an
   argument outside its range. */
#define AGL_OK 0
#define AGL_E_MAPPING 20480
#define AGL_E_EXISTS 20481
#define AGL_E_MAPVIEW 20483
#define AGL_E_OPEN 20484
#define AGL_E_FORMAT 20485
#define AGL_E_EXTENT 20486
#define AGL_E_TOO_LARGE 20487
#define AGL_E_RANK 20488
#define AGL_E_SIZE 20490
#define AGL_E_READONLY 20491
#define AGL_E_ARGUMENT 20495

#define AGL_MAX_DIMS 7

typedef struct agl_segment agl_segment;

/* Creates a new shared-memory segment. name may be NULL for a generated
   name (read it back with agl_name). Fails with AGL_E_EXISTS when a block of
   that name exists and is held by a running process (a block left by one
   that died is removed first). Elements start as zeros. */
AGL_API int agl_create(agl_segment** out, const char* name, int type, int language, int ndims,
                       const int* extents);

/* Creates (or reuses) the agl file at path and maps it for writing. */
AGL_API int agl_create_file(agl_segment** out, const char* path, int type, int language, int ndims,
                            const int* extents);

/* Opens an existing segment: a file path first, a shared-memory name second. */
AGL_API int agl_open(agl_segment** out, const char* name, int read_only);

/* Unmaps and releases the segment; the pointer is invalid afterwards. */
AGL_API int agl_close(agl_segment* seg);

/* Address of the first element, NULL for a NULL segment. */
AGL_API void* agl_data(agl_segment* seg);

/* The segment's name, type code, language, dimension count (0 on error). */
AGL_API const char* agl_name(const agl_segment* seg);
AGL_API int agl_type(const agl_segment* seg);
AGL_API int agl_language(const agl_segment* seg);
AGL_API int agl_ndims(const agl_segment* seg);
/* Total number of elements. */
AGL_API long long agl_count(const agl_segment* seg);

/* Copies the extents / lower bounds (language order) into out[0..max-1]. */
AGL_API int agl_extents(const agl_segment* seg, int* out, int max);
AGL_API int agl_lower_bounds(const agl_segment* seg, int* out, int max);

/* Sets the lower bound of dimension dim (0-based, language order). */
AGL_API int agl_set_lower_bound(agl_segment* seg, int dim, int value);

/* Re-labels a writable segment; the byte size must not change and ndims must
   not exceed the slots the segment was created with. */
AGL_API int agl_reshape(agl_segment* seg, int ndims, const int* extents, int type);

/* The last error code of this thread, reset to 0 by the call. */
AGL_API int agl_last_error(void);

/* The enumerator of an error code, e.g. "AGL_E_FORMAT". */
AGL_API const char* agl_error_name(int code);

/* The library's version, in the form of AGL_VERSION. */
AGL_API int agl_version(void);

#ifdef __cplusplus
}
#endif

#endif /* AGL_H */
