/* libtavrixclient: drive a Tavrix viewer from a C or Fortran program.
 *
 * tavrix_create starts a viewer of the caller's own ("tavrix -Automation")
 * on the user's session bus and creates its automation object; every call
 * then goes to that viewer only, and only this connection may make it. The
 * viewer lives until tavrix_release, or until the program exits or dies
 * (its bus connection going away releases the object too); it then closes
 * unless the user has taken control of it.
 *
 * Members are reached by their names in ITavrixObj: properties through
 * tavrix_get_* and tavrix_put_* with the property's name ("GraphType"),
 * methods through tavrix_call ("SetRoi"). A float member is passed as a
 * double, a short or colour member as a long.
 *
 * Every function returns TAVRIX_OK (0) or a failure code below;
 * tavrix_last_error() then says what failed, with the member's name, in a
 * buffer of the calling thread. One object is used by one thread at a time;
 * different objects may be used from different threads.
 *
 * The viewer program is $TAVRIX_VIEWER when set, else the installed tavrix,
 * else "tavrix" found through PATH. */
#ifndef TAVRIX_CLIENT_H
#define TAVRIX_CLIENT_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(TAVRIX_CLIENT_BUILDING_LIBRARY)
#define TAVRIX_API __attribute__((visibility("default")))
#else
#define TAVRIX_API
#endif

#define TAVRIX_CLIENT_VERSION_MAJOR 1
#define TAVRIX_CLIENT_VERSION_MINOR 0
#define TAVRIX_CLIENT_VERSION_PATCH 0

/* Result codes (HRESULT values, as 32-bit integers). */
#define TAVRIX_OK 0
#define TAVRIX_E_NO_DOCUMENT ((int32_t)0x80040000)    /* the viewer has no document */
#define TAVRIX_E_INVALID_ARG ((int32_t)0x80070057)    /* a value out of range */
#define TAVRIX_E_NO_ARRAY ((int32_t)0x8000FFFF)       /* needs an array; none is loaded */
#define TAVRIX_E_ACCESS_DENIED ((int32_t)0x80070005)  /* not this client's viewer */
#define TAVRIX_E_UNKNOWN_MEMBER ((int32_t)0x80020003) /* no member of that name */
#define TAVRIX_E_TYPE_MISMATCH ((int32_t)0x80020005)  /* arguments of the wrong kind or count */
#define TAVRIX_E_PROPERTY_VALUE ((int32_t)0x800A017C) /* the graph control refused the value */
#define TAVRIX_E_LOAD_FAILED ((int32_t)0x80004005)    /* the array could not be read */
#define TAVRIX_E_START ((int32_t)0x80080005)          /* the viewer could not be started */
#define TAVRIX_E_BUS ((int32_t)0x80010108)            /* the bus or the viewer went away */
#define TAVRIX_E_OUT_OF_MEMORY ((int32_t)0x8007000E)

/* Enumerations of ITavrixObj. */
enum {
    TAVRIX_HEIGHT_PLOT = 1,
    TAVRIX_IMAGE_MAP = 2,
    TAVRIX_VECTOR_GRAPH = 3,
    TAVRIX_PLANE_VIEW = 4
};
enum {
    TAVRIX_MESH_STYLE = 0,
    TAVRIX_SURFACE_STYLE = 1,
    TAVRIX_BARCHART_STYLE = 2,
    TAVRIX_LINE_STYLE = 3,
    TAVRIX_POINT_STYLE = 4
};
enum { TAVRIX_IDENTITY = 0, TAVRIX_XFLIP = 1, TAVRIX_YFLIP = 2, TAVRIX_XYFLIP = 3 };

typedef struct tavrix_obj tavrix_obj;

/* An argument or result of tavrix_call. */
enum { TAVRIX_LONG = 1, TAVRIX_DOUBLE = 2, TAVRIX_STRING = 3 };
typedef struct tavrix_value {
    int type; /* TAVRIX_LONG, TAVRIX_DOUBLE or TAVRIX_STRING */
    int32_t l;
    double d;
    const char* s; /* results: valid until the next call on the object */
} tavrix_value;

TAVRIX_API const char* tavrix_client_version(void);
TAVRIX_API const char* tavrix_last_error(void);
/* The same text copied into buffer and padded with blanks to size bytes (a
 * Fortran character variable). */
TAVRIX_API void tavrix_error_text(char* buffer, size_t size);

/* Starts a viewer and creates its object; *obj is NULL on failure. */
TAVRIX_API int32_t tavrix_create(tavrix_obj** obj);
/* Releases the object (the viewer's final release) and frees obj. */
TAVRIX_API int32_t tavrix_release(tavrix_obj* obj);
/* The viewer's bus name and process id. */
TAVRIX_API const char* tavrix_bus_name(const tavrix_obj* obj);
TAVRIX_API long tavrix_viewer_pid(const tavrix_obj* obj);

/* The interface's members as the viewer describes them, in order:
 * name ("GetFileName"), argument and result types in bus letters
 * ("nii", "i": i long, n short, u colour, d double, s string). */
TAVRIX_API int tavrix_member_count(const tavrix_obj* obj);
TAVRIX_API const char* tavrix_member_name(const tavrix_obj* obj, int index);
TAVRIX_API const char* tavrix_member_in(const tavrix_obj* obj, int index);
TAVRIX_API const char* tavrix_member_out(const tavrix_obj* obj, int index);

/* Calls member method with nin arguments; fills up to nout results. */
TAVRIX_API int32_t tavrix_call(tavrix_obj* obj, const char* method, const tavrix_value* in, int nin,
                               tavrix_value* out, int nout);
/* Methods whose arguments and results are all integers or all numbers. */
TAVRIX_API int32_t tavrix_call_longs(tavrix_obj* obj, const char* method, const int32_t* in,
                                     int nin, int32_t* out, int nout);
TAVRIX_API int32_t tavrix_call_doubles(tavrix_obj* obj, const char* method, const double* in,
                                       int nin, double* out, int nout);

/* Properties, by name without Get/Put. */
TAVRIX_API int32_t tavrix_put_long(tavrix_obj* obj, const char* property, int32_t value);
TAVRIX_API int32_t tavrix_put_double(tavrix_obj* obj, const char* property, double value);
TAVRIX_API int32_t tavrix_put_string(tavrix_obj* obj, const char* property, const char* value);
TAVRIX_API int32_t tavrix_get_long(tavrix_obj* obj, const char* property, int32_t* value);
TAVRIX_API int32_t tavrix_get_double(tavrix_obj* obj, const char* property, double* value);
/* Copies the text with its terminating zero; TAVRIX_E_INVALID_ARG when it
 * does not fit in size bytes (nothing is copied then). */
TAVRIX_API int32_t tavrix_get_string(tavrix_obj* obj, const char* property, char* buffer,
                                     size_t size);

/* SetDimScale and GetDimScale (a short and a string). */
TAVRIX_API int32_t tavrix_set_dim_scale(tavrix_obj* obj, int dim, const char* name);
TAVRIX_API int32_t tavrix_get_dim_scale(tavrix_obj* obj, int dim, char* buffer, size_t size);

/* ShowObject: shows an object of the HDF, HDF5 or NetCDF file the viewer has
 * open (put its path as FileName first), named by its location ("/grp/temp"),
 * its number in agltool info's list or its shown name. */
TAVRIX_API int32_t tavrix_show_object(tavrix_obj* obj, const char* which);

#ifdef __cplusplus
}
#endif

#endif
