/* libtavrixclient over libdbus-1. See tavrixclient.h. */
#define _GNU_SOURCE
#include "tavrixclient.h"

#include <dbus/dbus.h>

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#ifndef TAVRIX_DEFAULT_VIEWER
#define TAVRIX_DEFAULT_VIEWER "tavrix"
#endif

#define OBJECT_PATH "/TavrixObj"
#define INTERFACE "com.veradyne.Tavrix.ITavrixObj"
#define CLASS_INTERFACE "com.veradyne.Tavrix.ClassObject"
#define CALL_TIMEOUT_MS 30000
/* The most a viewer's own wait (for its HDF helper) may add to that. */
#define MAX_HELPER_WAIT_MS (2 * 3600 * 1000)
#define HELPER_WAIT_ANNOTATION "com.veradyne.Tavrix.HelperWaitMs"
#define START_TIMEOUT_MS 30000
#define MAX_ARGS 8
#define MAX_MEMBERS 160

typedef struct member {
    char name[48];
    char in[MAX_ARGS + 1];
    char out[MAX_ARGS + 1];
} member;

struct tavrix_obj {
    DBusConnection* bus;
    char name[96];
    char owner[96]; /* the viewer's unique connection name: every call goes there */
    pid_t pid;
    int call_timeout_ms; /* our limit for a call, with the viewer's own waits */
    int count;
    member members[MAX_MEMBERS];
    char* strings[MAX_ARGS]; /* results of the last call */
};

static __thread char g_message[1024];

static int32_t failure(int32_t code, const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    vsnprintf(g_message, sizeof g_message, format, ap);
    va_end(ap);
    return code;
}

const char* tavrix_last_error(void) {
    return g_message;
}

void tavrix_error_text(char* buffer, size_t size) {
    if (!buffer) return;
    const size_t n = strnlen(g_message, size);
    memcpy(buffer, g_message, n);
    memset(buffer + n, ' ', size - n);
}

const char* tavrix_client_version(void) {
#define STR2(x) #x
#define STR(x) STR2(x)
    return STR(TAVRIX_CLIENT_VERSION_MAJOR) "." STR(TAVRIX_CLIENT_VERSION_MINOR) "." STR(
        TAVRIX_CLIENT_VERSION_PATCH);
}

/* The code for a bus error name of the viewer or the bus. */
static int32_t code_of(const char* name) {
    static const struct {
        const char* name;
        int32_t code;
    } table[] = {
        {"com.veradyne.Tavrix.Error.InvalidArg", TAVRIX_E_INVALID_ARG},
        {"com.veradyne.Tavrix.Error.NoArray", TAVRIX_E_NO_ARRAY},
        {"com.veradyne.Tavrix.Error.NoDocument", TAVRIX_E_NO_DOCUMENT},
        {"com.veradyne.Tavrix.Error.InvalidPropertyValue", TAVRIX_E_PROPERTY_VALUE},
        {"com.veradyne.Tavrix.Error.LoadFailed", TAVRIX_E_LOAD_FAILED},
        {DBUS_ERROR_ACCESS_DENIED, TAVRIX_E_ACCESS_DENIED},
        {DBUS_ERROR_UNKNOWN_METHOD, TAVRIX_E_UNKNOWN_MEMBER},
        {DBUS_ERROR_INVALID_ARGS, TAVRIX_E_TYPE_MISMATCH},
        {DBUS_ERROR_NO_MEMORY, TAVRIX_E_OUT_OF_MEMORY},
    };
    for (size_t i = 0; i < sizeof table / sizeof table[0]; ++i)
        if (strcmp(name, table[i].name) == 0) return table[i].code;
    return TAVRIX_E_BUS;
}

static long now_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

/* Sends a call and waits for the reply; NULL with the failure recorded. */
static DBusMessage* send_call(const tavrix_obj* obj, DBusMessage* call, const char* what,
                              int32_t* code) {
    DBusError error;
    dbus_error_init(&error);
    DBusMessage* reply =
        dbus_connection_send_with_reply_and_block(obj->bus, call, obj->call_timeout_ms, &error);
    if (!reply) {
        const char* text = error.message ? error.message : "no reply";
        const size_t n = strlen(what);
        /* The viewer's messages already begin with the member's name. */
        const int named = strncmp(text, what, n) == 0 && text[n] == ':';
        *code = failure(code_of(error.name ? error.name : ""), "%s%s%s (%s)", named ? "" : what,
                        named ? "" : ": ", text, error.name ? error.name : "no error name");
        dbus_error_free(&error);
    }
    return reply;
}

/* ---- Starting the viewer ------------------------------------------------ */

/* Starts the viewer detached from us (it is reparented to init, so it never
 * becomes our zombie). Returns its pid, or -1 with errno. */
static pid_t start_viewer(const char* busName, const char* owner) {
    const char* viewer = getenv("TAVRIX_VIEWER");
    if (!viewer || !*viewer)
        viewer = access(TAVRIX_DEFAULT_VIEWER, X_OK) == 0 ? TAVRIX_DEFAULT_VIEWER : "tavrix";
    int pipefd[2];
    if (pipe2(pipefd, O_CLOEXEC) != 0) return -1;
    const pid_t child = fork();
    if (child < 0) {
        close(pipefd[0]);
        close(pipefd[1]);
        return -1;
    }
    if (child == 0) {
        /* Only async-signal-safe calls from here to exec. */
        const pid_t grandchild = fork();
        if (grandchild != 0) {
            const int report[2] = {grandchild < 0 ? -1 : (int)grandchild, errno};
            (void)!write(pipefd[1], report, sizeof report);
            _exit(0);
        }
        setsid();
        /* The viewer keeps none of our descriptors (a pipe of ours held open
         * by it would keep our reader waiting), reads nothing and writes
         * only diagnostics, on our stderr. */
        close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
        const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
        if (null >= 0) {
            dup2(null, 0);
            dup2(null, 1);
        }
        char* const argv[] = {(char*)viewer,
                              (char*)"-Automation",
                              (char*)"--bus-name",
                              (char*)busName,
                              (char*)"--owner",
                              (char*)owner,
                              NULL};
        execvp(viewer, argv);
        const int report[2] = {-2, errno};
        (void)!write(pipefd[1], report, sizeof report);
        _exit(127);
    }
    close(pipefd[1]);
    while (waitpid(child, NULL, 0) < 0 && errno == EINTR) {
    }
    int report[2] = {-1, EIO};
    pid_t pid = -1;
    if (read(pipefd[0], report, sizeof report) == (ssize_t)sizeof report && report[0] > 0) {
        pid = report[0];
        /* A second report means exec failed. */
        int failed[2];
        if (read(pipefd[0], failed, sizeof failed) == (ssize_t)sizeof failed) {
            pid = -1;
            report[1] = failed[1];
        }
    }
    close(pipefd[0]);
    if (pid < 0) errno = report[1];
    return pid;
}

/* ---- The member table from the viewer's own description ----------------- */

static const char* attribute(const char* from, const char* end, const char* key, char* out,
                             size_t size) {
    char pattern[32];
    snprintf(pattern, sizeof pattern, "%s=\"", key);
    const char* p = strstr(from, pattern);
    if (!p || p >= end) return NULL;
    p += strlen(pattern);
    const char* q = strchr(p, '"');
    if (!q || q >= end || (size_t)(q - p) >= size) return NULL;
    memcpy(out, p, (size_t)(q - p));
    out[q - p] = 0;
    return q;
}

static int32_t read_members(tavrix_obj* obj) {
    DBusMessage* call = dbus_message_new_method_call(
        obj->owner, OBJECT_PATH, "org.freedesktop.DBus.Introspectable", "Introspect");
    if (!call) return failure(TAVRIX_E_OUT_OF_MEMORY, "Introspect: out of memory");
    int32_t code = 0;
    DBusMessage* reply = send_call(obj, call, "Introspect", &code);
    dbus_message_unref(call);
    if (!reply) return code;
    const char* xml = NULL;
    if (!dbus_message_get_args(reply, NULL, DBUS_TYPE_STRING, &xml, DBUS_TYPE_INVALID)) {
        dbus_message_unref(reply);
        return failure(TAVRIX_E_BUS, "Introspect: unreadable reply");
    }
    const char* p = strstr(xml, "<interface name=\"" INTERFACE "\"");
    const char* end = p ? strstr(p, "</interface>") : NULL;
    obj->count = 0;
    /* A viewer that may wait for its HDF helper says how long; a call gets
     * that on top of the usual limit, so the helper's failure reaches us as
     * the viewer's answer, not as a call that timed out. */
    obj->call_timeout_ms = CALL_TIMEOUT_MS;
    const char* firstMethod = p ? strstr(p, "<method ") : NULL;
    const char* wait = p ? strstr(p, "<annotation name=\"" HELPER_WAIT_ANNOTATION "\"") : NULL;
    if (wait && end && wait < end && (!firstMethod || wait < firstMethod)) {
        char value[16] = "";
        const char* tagEnd = strchr(wait, '>');
        if (tagEnd && attribute(wait, tagEnd, "value", value, sizeof value)) {
            char* after = NULL;
            const long ms = strtol(value, &after, 10);
            if (after && *after == 0 && ms > 0 && ms <= MAX_HELPER_WAIT_MS)
                obj->call_timeout_ms = CALL_TIMEOUT_MS + (int)ms;
        }
    }
    while (p && end) {
        const char* m = strstr(p, "<method ");
        if (!m || m >= end) break;
        const char* close = strstr(m, "</method>");
        const char* self = strstr(m, "/>");
        const char* stop = close && close < end ? close : end;
        if (self && self < stop && (!strchr(m, '>') || strchr(m, '>') > self)) stop = self;
        if (obj->count == MAX_MEMBERS) break;
        member* mem = &obj->members[obj->count];
        memset(mem, 0, sizeof *mem);
        if (!attribute(m, stop, "name", mem->name, sizeof mem->name)) break;
        const char* a = m;
        size_t nin = 0, nout = 0;
        while ((a = strstr(a + 1, "<arg ")) && a < stop) {
            const char* argEnd = strchr(a, '>');
            char type[8] = "", direction[8] = "in";
            attribute(a, argEnd, "type", type, sizeof type);
            attribute(a, argEnd, "direction", direction, sizeof direction);
            if (strlen(type) != 1) continue;
            if (strcmp(direction, "out") == 0) {
                if (nout < MAX_ARGS) mem->out[nout++] = type[0];
            } else if (nin < MAX_ARGS) {
                mem->in[nin++] = type[0];
            }
        }
        obj->count++;
        p = stop + 1;
    }
    dbus_message_unref(reply);
    if (obj->count == 0) return failure(TAVRIX_E_BUS, "Introspect: the viewer lists no members");
    return TAVRIX_OK;
}

static const member* find(const tavrix_obj* obj, const char* name) {
    for (int i = 0; i < obj->count; ++i)
        if (strcmp(obj->members[i].name, name) == 0) return &obj->members[i];
    return NULL;
}

/* ---- Creating and releasing ---------------------------------------------- */

static int32_t call_class(tavrix_obj* obj, const char* method) {
    DBusMessage* call =
        dbus_message_new_method_call(obj->owner, OBJECT_PATH, CLASS_INTERFACE, method);
    if (!call) return failure(TAVRIX_E_OUT_OF_MEMORY, "%s: out of memory", method);
    int32_t code = 0;
    DBusMessage* reply = send_call(obj, call, method, &code);
    dbus_message_unref(call);
    if (!reply) return code;
    dbus_message_unref(reply);
    return TAVRIX_OK;
}

static void destroy(tavrix_obj* obj) {
    for (int i = 0; i < MAX_ARGS; ++i)
        free(obj->strings[i]);
    if (obj->bus) {
        dbus_connection_close(obj->bus);
        dbus_connection_unref(obj->bus);
    }
    free(obj);
}

/* Asks the bus for a string or a uint32 about a name; false on any error. */
static int ask_bus(tavrix_obj* obj, const char* method, const char* name, int type, void* out) {
    DBusMessage* call = dbus_message_new_method_call(
        "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method);
    if (!call) return 0;
    int ok = dbus_message_append_args(call, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID);
    DBusError error;
    dbus_error_init(&error);
    DBusMessage* reply =
        ok ? dbus_connection_send_with_reply_and_block(obj->bus, call, CALL_TIMEOUT_MS, &error)
           : NULL;
    dbus_message_unref(call);
    ok = reply && dbus_message_get_args(reply, &error, type, out, DBUS_TYPE_INVALID);
    if (reply) dbus_message_unref(reply);
    dbus_error_free(&error);
    return ok;
}

/* Checks that the owner of obj->name is the process obj->pid and keeps its
 * unique name in obj->owner. */
static int32_t check_owner(tavrix_obj* obj) {
    const char* unique = NULL;
    dbus_uint32_t pid = 0;
    if (!ask_bus(obj, "GetNameOwner", obj->name, DBUS_TYPE_STRING, &unique) || !unique)
        return failure(TAVRIX_E_START, "tavrix_create: the bus name %s has no owner", obj->name);
    if (strlen(unique) >= sizeof obj->owner)
        return failure(TAVRIX_E_START, "tavrix_create: the owner of %s has an overlong name",
                       obj->name);
    char owner[sizeof obj->owner];
    strcpy(owner, unique); /* the reply that held it is gone */
    if (!ask_bus(obj, "GetConnectionUnixProcessID", owner, DBUS_TYPE_UINT32, &pid))
        return failure(TAVRIX_E_START, "tavrix_create: the bus cannot tell who owns %s", obj->name);
    if ((pid_t)pid != obj->pid)
        return failure(TAVRIX_E_START,
                       "tavrix_create: the bus name %s is held by another program (process "
                       "%lu), not by the viewer started (process %ld)",
                       obj->name, (unsigned long)pid, (long)obj->pid);
    strcpy(obj->owner, owner);
    return TAVRIX_OK;
}

int32_t tavrix_create(tavrix_obj** out) {
    static int counter = 0;
    if (!out) return failure(TAVRIX_E_INVALID_ARG, "tavrix_create: no place for the object");
    *out = NULL;
    dbus_threads_init_default();
    tavrix_obj* obj = calloc(1, sizeof *obj);
    if (!obj) return failure(TAVRIX_E_OUT_OF_MEMORY, "tavrix_create: out of memory");
    obj->call_timeout_ms = CALL_TIMEOUT_MS;

    DBusError error;
    dbus_error_init(&error);
    obj->bus = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    if (!obj->bus) {
        int32_t code = failure(TAVRIX_E_BUS, "tavrix_create: no session bus: %s",
                               error.message ? error.message : "unknown error");
        dbus_error_free(&error);
        destroy(obj);
        return code;
    }
    dbus_connection_set_exit_on_disconnect(obj->bus, FALSE);
    snprintf(obj->name, sizeof obj->name, "com.veradyne.Tavrix.c%ld_%d", (long)getpid(),
             __atomic_add_fetch(&counter, 1, __ATOMIC_RELAXED));

    obj->pid = start_viewer(obj->name, dbus_bus_get_unique_name(obj->bus));
    if (obj->pid < 0) {
        int32_t code =
            failure(TAVRIX_E_START, "tavrix_create: cannot start the viewer: %s", strerror(errno));
        destroy(obj);
        return code;
    }
    /* Wait for the viewer to take its name (or to die trying). */
    const long deadline = now_ms() + START_TIMEOUT_MS;
    for (;;) {
        if (dbus_bus_name_has_owner(obj->bus, obj->name, NULL)) break;
        if (kill(obj->pid, 0) != 0 && errno == ESRCH) {
            int32_t code =
                failure(TAVRIX_E_START,
                        "tavrix_create: the viewer ended before it took the name %s", obj->name);
            destroy(obj);
            return code;
        }
        if (now_ms() > deadline) {
            kill(obj->pid, SIGTERM);
            int32_t code = failure(TAVRIX_E_START,
                                   "tavrix_create: the viewer did not take the name %s in %d s",
                                   obj->name, START_TIMEOUT_MS / 1000);
            destroy(obj);
            return code;
        }
        usleep(10000);
    }
    /* Whoever owns the name must be the viewer we started: another program
     * that took it first would otherwise receive the user's paths and
     * annotations and have its answers believed. The bus tells the owner's
     * process; from here on every call goes to that connection alone. */
    int32_t code = check_owner(obj);
    if (code != TAVRIX_OK) {
        kill(obj->pid, SIGTERM);
        destroy(obj);
        return code;
    }
    code = call_class(obj, "CreateInstance");
    if (code == TAVRIX_OK) code = read_members(obj);
    if (code != TAVRIX_OK) {
        destroy(obj); /* our connection goes: the viewer lets go */
        return code;
    }
    *out = obj;
    return TAVRIX_OK;
}

int32_t tavrix_release(tavrix_obj* obj) {
    if (!obj) return TAVRIX_OK;
    const int32_t code = call_class(obj, "Release");
    destroy(obj);
    return code;
}

const char* tavrix_bus_name(const tavrix_obj* obj) {
    return obj ? obj->name : "";
}
long tavrix_viewer_pid(const tavrix_obj* obj) {
    return obj ? (long)obj->pid : -1;
}
int tavrix_member_count(const tavrix_obj* obj) {
    return obj ? obj->count : 0;
}
static const member* at(const tavrix_obj* obj, int index) {
    return obj && index >= 0 && index < obj->count ? &obj->members[index] : NULL;
}
const char* tavrix_member_name(const tavrix_obj* obj, int index) {
    return at(obj, index) ? at(obj, index)->name : NULL;
}
const char* tavrix_member_in(const tavrix_obj* obj, int index) {
    return at(obj, index) ? at(obj, index)->in : NULL;
}
const char* tavrix_member_out(const tavrix_obj* obj, int index) {
    return at(obj, index) ? at(obj, index)->out : NULL;
}

/* ---- Calls ----------------------------------------------------------------- */

int32_t tavrix_call(tavrix_obj* obj, const char* method, const tavrix_value* in, int nin,
                    tavrix_value* out, int nout) {
    if (!obj) return failure(TAVRIX_E_INVALID_ARG, "%s: no object", method ? method : "?");
    if (!method) return failure(TAVRIX_E_INVALID_ARG, "tavrix_call: no member name");
    const member* m = find(obj, method);
    if (!m) return failure(TAVRIX_E_UNKNOWN_MEMBER, "%s: no such member", method);
    const int want = (int)strlen(m->in);
    if (nin != want || (nin > 0 && !in))
        return failure(TAVRIX_E_TYPE_MISMATCH, "%s: takes %d argument(s), not %d", method, want,
                       nin);
    if (nout < 0 || (nout > 0 && !out))
        return failure(TAVRIX_E_INVALID_ARG, "%s: no place for the results", method);

    DBusMessage* call = dbus_message_new_method_call(obj->owner, OBJECT_PATH, INTERFACE, method);
    if (!call) return failure(TAVRIX_E_OUT_OF_MEMORY, "%s: out of memory", method);
    DBusMessageIter it;
    dbus_message_iter_init_append(call, &it);
    for (int i = 0; i < nin; ++i) {
        const tavrix_value* v = &in[i];
        const char k = m->in[i];
        dbus_bool_t appended = FALSE;
        if (k == 's') {
            const char* s = v->type == TAVRIX_STRING ? (v->s ? v->s : "") : NULL;
            if (!s || !dbus_validate_utf8(s, NULL)) {
                dbus_message_unref(call);
                return failure(TAVRIX_E_INVALID_ARG, "%s: argument %d must be %s", method, i + 1,
                               s ? "valid UTF-8 text" : "a string");
            }
            appended = dbus_message_iter_append_basic(&it, DBUS_TYPE_STRING, &s);
        } else if (k == 'd') {
            if (v->type != TAVRIX_DOUBLE && v->type != TAVRIX_LONG) {
                dbus_message_unref(call);
                return failure(TAVRIX_E_TYPE_MISMATCH, "%s: argument %d must be a number", method,
                               i + 1);
            }
            const double d = v->type == TAVRIX_DOUBLE ? v->d : (double)v->l;
            appended = dbus_message_iter_append_basic(&it, DBUS_TYPE_DOUBLE, &d);
        } else {
            if (v->type != TAVRIX_LONG) {
                dbus_message_unref(call);
                return failure(TAVRIX_E_TYPE_MISMATCH, "%s: argument %d must be an integer", method,
                               i + 1);
            }
            if (k == 'n') {
                if (v->l < -32768 || v->l > 32767) {
                    dbus_message_unref(call);
                    return failure(TAVRIX_E_INVALID_ARG, "%s: argument %d (%ld) is not a short",
                                   method, i + 1, (long)v->l);
                }
                const dbus_int16_t s16 = (dbus_int16_t)v->l;
                appended = dbus_message_iter_append_basic(&it, DBUS_TYPE_INT16, &s16);
            } else if (k == 'u') {
                const dbus_uint32_t u = (dbus_uint32_t)v->l;
                appended = dbus_message_iter_append_basic(&it, DBUS_TYPE_UINT32, &u);
            } else {
                const dbus_int32_t l = v->l;
                appended = dbus_message_iter_append_basic(&it, DBUS_TYPE_INT32, &l);
            }
        }
        if (!appended) {
            dbus_message_unref(call);
            return failure(TAVRIX_E_OUT_OF_MEMORY, "%s: out of memory", method);
        }
    }
    int32_t code = 0;
    DBusMessage* reply = send_call(obj, call, method, &code);
    dbus_message_unref(call);
    if (!reply) return code;

    for (int i = 0; i < MAX_ARGS; ++i) {
        free(obj->strings[i]);
        obj->strings[i] = NULL;
    }
    DBusMessageIter r;
    int i = 0;
    if (dbus_message_iter_init(reply, &r)) {
        do {
            if (i >= nout || i >= MAX_ARGS) break;
            tavrix_value* v = &out[i];
            memset(v, 0, sizeof *v);
            switch (dbus_message_iter_get_arg_type(&r)) {
            case DBUS_TYPE_INT16: {
                dbus_int16_t x;
                dbus_message_iter_get_basic(&r, &x);
                v->type = TAVRIX_LONG, v->l = x, v->d = x;
                break;
            }
            case DBUS_TYPE_INT32: {
                dbus_int32_t x;
                dbus_message_iter_get_basic(&r, &x);
                v->type = TAVRIX_LONG, v->l = x, v->d = x;
                break;
            }
            case DBUS_TYPE_UINT32: {
                dbus_uint32_t x;
                dbus_message_iter_get_basic(&r, &x);
                v->type = TAVRIX_LONG, v->l = (int32_t)x, v->d = x;
                break;
            }
            case DBUS_TYPE_DOUBLE: {
                double x;
                dbus_message_iter_get_basic(&r, &x);
                v->type = TAVRIX_DOUBLE, v->d = x, v->l = (int32_t)x;
                break;
            }
            case DBUS_TYPE_STRING: {
                const char* x;
                dbus_message_iter_get_basic(&r, &x);
                obj->strings[i] = strdup(x);
                if (!obj->strings[i]) {
                    dbus_message_unref(reply);
                    return failure(TAVRIX_E_OUT_OF_MEMORY, "%s: out of memory", method);
                }
                v->type = TAVRIX_STRING, v->s = obj->strings[i];
                break;
            }
            default:
                break;
            }
            ++i;
        } while (dbus_message_iter_next(&r));
    }
    dbus_message_unref(reply);
    return TAVRIX_OK;
}

int32_t tavrix_call_longs(tavrix_obj* obj, const char* method, const int32_t* in, int nin,
                          int32_t* out, int nout) {
    tavrix_value a[MAX_ARGS], r[MAX_ARGS];
    if (nin < 0 || nin > MAX_ARGS || nout < 0 || nout > MAX_ARGS)
        return failure(TAVRIX_E_INVALID_ARG, "%s: too many arguments or results",
                       method ? method : "?");
    for (int i = 0; i < nin; ++i)
        a[i] = (tavrix_value){TAVRIX_LONG, in[i], 0.0, NULL};
    const int32_t code = tavrix_call(obj, method, a, nin, r, nout);
    for (int i = 0; code == TAVRIX_OK && i < nout; ++i)
        out[i] = r[i].l;
    return code;
}

int32_t tavrix_call_doubles(tavrix_obj* obj, const char* method, const double* in, int nin,
                            double* out, int nout) {
    tavrix_value a[MAX_ARGS], r[MAX_ARGS];
    if (nin < 0 || nin > MAX_ARGS || nout < 0 || nout > MAX_ARGS)
        return failure(TAVRIX_E_INVALID_ARG, "%s: too many arguments or results",
                       method ? method : "?");
    for (int i = 0; i < nin; ++i)
        a[i] = (tavrix_value){TAVRIX_DOUBLE, 0, in[i], NULL};
    const int32_t code = tavrix_call(obj, method, a, nin, r, nout);
    for (int i = 0; code == TAVRIX_OK && i < nout; ++i)
        out[i] = r[i].d;
    return code;
}

static int32_t put(tavrix_obj* obj, const char* property, tavrix_value v) {
    char method[64];
    if (!property || snprintf(method, sizeof method, "Put%s", property) >= (int)sizeof method)
        return failure(TAVRIX_E_UNKNOWN_MEMBER, "Put%s: no such member", property ? property : "");
    return tavrix_call(obj, method, &v, 1, NULL, 0);
}
static int32_t get(tavrix_obj* obj, const char* property, tavrix_value* v) {
    char method[64];
    if (!property || snprintf(method, sizeof method, "Get%s", property) >= (int)sizeof method)
        return failure(TAVRIX_E_UNKNOWN_MEMBER, "Get%s: no such member", property ? property : "");
    memset(v, 0, sizeof *v);
    return tavrix_call(obj, method, NULL, 0, v, 1);
}

int32_t tavrix_put_long(tavrix_obj* obj, const char* property, int32_t value) {
    return put(obj, property, (tavrix_value){TAVRIX_LONG, value, 0.0, NULL});
}
int32_t tavrix_put_double(tavrix_obj* obj, const char* property, double value) {
    return put(obj, property, (tavrix_value){TAVRIX_DOUBLE, 0, value, NULL});
}
int32_t tavrix_put_string(tavrix_obj* obj, const char* property, const char* value) {
    return put(obj, property, (tavrix_value){TAVRIX_STRING, 0, 0.0, value});
}
int32_t tavrix_get_long(tavrix_obj* obj, const char* property, int32_t* value) {
    tavrix_value v;
    const int32_t code = get(obj, property, &v);
    if (code == TAVRIX_OK && value) *value = v.l;
    return code;
}
int32_t tavrix_get_double(tavrix_obj* obj, const char* property, double* value) {
    tavrix_value v;
    const int32_t code = get(obj, property, &v);
    if (code == TAVRIX_OK && value) *value = v.d;
    return code;
}

static int32_t copy_text(const char* what, const char* text, char* buffer, size_t size) {
    const size_t n = strlen(text ? text : "");
    if (!buffer || n + 1 > size)
        return failure(TAVRIX_E_INVALID_ARG, "%s: the text needs %zu bytes, the buffer has %zu",
                       what, n + 1, buffer ? size : 0);
    memcpy(buffer, text ? text : "", n + 1);
    return TAVRIX_OK;
}

int32_t tavrix_get_string(tavrix_obj* obj, const char* property, char* buffer, size_t size) {
    tavrix_value v;
    const int32_t code = get(obj, property, &v);
    if (code != TAVRIX_OK) return code;
    return copy_text(property, v.s, buffer, size);
}

int32_t tavrix_set_dim_scale(tavrix_obj* obj, int dim, const char* name) {
    const tavrix_value a[2] = {{TAVRIX_LONG, dim, 0.0, NULL}, {TAVRIX_STRING, 0, 0.0, name}};
    return tavrix_call(obj, "SetDimScale", a, 2, NULL, 0);
}

int32_t tavrix_get_dim_scale(tavrix_obj* obj, int dim, char* buffer, size_t size) {
    const tavrix_value a = {TAVRIX_LONG, dim, 0.0, NULL};
    tavrix_value r;
    const int32_t code = tavrix_call(obj, "GetDimScale", &a, 1, &r, 1);
    if (code != TAVRIX_OK) return code;
    return copy_text("GetDimScale", r.s, buffer, size);
}

int32_t tavrix_show_object(tavrix_obj* obj, const char* which) {
    const tavrix_value a = {TAVRIX_STRING, 0, 0.0, which};
    return tavrix_call(obj, "ShowObject", &a, 1, NULL, 0);
}
