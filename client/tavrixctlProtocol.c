#define _GNU_SOURCE
#include "tavrixctlProtocol.h"

#include <errno.h>
#include <inttypes.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

void ctl_put_text(ctl_output* o, const char* format, ...) {
    va_list ap, again;
    va_start(ap, format);
    va_copy(again, ap);
    const int n = vsnprintf(NULL, 0, format, ap);
    va_end(ap);
    if (n < 0 || o->lost) {
        o->lost = 1;
        va_end(again);
        return;
    }
    if (o->used + (size_t)n + 1 > o->size) {
        size_t size = (o->used + (size_t)n + 1) * 2;
        char* grown = realloc(o->text, size);
        if (!grown) {
            o->lost = 1;
            va_end(again);
            return;
        }
        o->text = grown;
        o->size = size;
    }
    vsnprintf(o->text + o->used, (size_t)n + 1, format, again);
    va_end(again);
    o->used += (size_t)n;
}

static int member_index(tavrix_obj* obj, const char* name) {
    for (int i = 0; i < tavrix_member_count(obj); ++i)
        if (strcmp(tavrix_member_name(obj, i), name) == 0) return i;
    return -1;
}

static int failed(ctl_output* err, const char* member, int32_t code) {
    ctl_put_text(err, "tavrixctl: %s: code 0x%08" PRIX32 ": %s\n", member, (uint32_t)code,
                 tavrix_last_error());
    return 2;
}

/* Parses text as an argument of bus type k. */
static int parse_value(char k, const char* text, tavrix_value* v) {
    char* end = NULL;
    errno = 0;
    memset(v, 0, sizeof *v);
    if (k == 's') {
        v->type = TAVRIX_STRING;
        v->s = text;
        return 0;
    }
    if (k == 'd') {
        v->type = TAVRIX_DOUBLE;
        v->d = strtod(text, &end);
    } else {
        v->type = TAVRIX_LONG;
        const long long x = strtoll(text, &end, 0);
        if (x < INT32_MIN || x > (k == 'u' ? (long long)UINT32_MAX : INT32_MAX)) return -1;
        v->l = (int32_t)x;
    }
    return (errno != 0 || end == text || *end != 0) ? -1 : 0;
}

static void print_results(ctl_output* out, const tavrix_value* r, int n) {
    for (int i = 0; i < n; ++i) {
        const char* sep = i + 1 < n ? " " : "";
        if (r[i].type == TAVRIX_STRING)
            ctl_put_text(out, "%s%s", r[i].s, sep);
        else if (r[i].type == TAVRIX_DOUBLE)
            ctl_put_text(out, "%.17g%s", r[i].d, sep);
        else
            ctl_put_text(out, "%" PRId32 "%s", r[i].l, sep);
    }
    if (n > 0) ctl_put_text(out, "\n");
}

/* Runs one member with text arguments. */
static int run_member(tavrix_obj* obj, const char* name, int argc, char** argv, ctl_output* out,
                      ctl_output* err) {
    const int index = member_index(obj, name);
    if (index < 0) {
        ctl_put_text(err, "tavrixctl: %s: code 0x%08" PRIX32 ": no such member\n", name,
                     (uint32_t)TAVRIX_E_UNKNOWN_MEMBER);
        return 2;
    }
    const char* in = tavrix_member_in(obj, index);
    const int nout = (int)strlen(tavrix_member_out(obj, index));
    if ((int)strlen(in) != argc) {
        ctl_put_text(err, "tavrixctl: %s: code 0x%08" PRIX32 ": takes %zu argument(s), not %d\n",
                     name, (uint32_t)TAVRIX_E_TYPE_MISMATCH, strlen(in), argc);
        return 2;
    }
    tavrix_value a[8], r[8];
    for (int i = 0; i < argc; ++i) {
        if (parse_value(in[i], argv[i], &a[i]) != 0) {
            ctl_put_text(err, "tavrixctl: %s: code 0x%08" PRIX32 ": argument %d (%s) is not a %s\n",
                         name, (uint32_t)TAVRIX_E_TYPE_MISMATCH, i + 1, argv[i],
                         in[i] == 'd' ? "number" : "whole number in range");
            return 2;
        }
    }
    const int32_t code = tavrix_call(obj, name, a, argc, r, nout);
    if (code != TAVRIX_OK) return failed(err, name, code);
    print_results(out, r, nout);
    return 0;
}

static int run_command(tavrix_obj* obj, int argc, char** argv, ctl_output* out, ctl_output* err,
                       int* release) {
    if (argc < 1) {
        ctl_put_text(err, "tavrixctl: no command\n");
        return 1;
    }
    const char* cmd = argv[0];
    if (strcmp(cmd, "show") == 0 && argc == 2) {
        int32_t code = tavrix_put_string(obj, "FileName", argv[1]);
        if (code != TAVRIX_OK) return failed(err, "PutFileName", code);
        int32_t error = 0;
        code = tavrix_get_long(obj, "ErrorNo", &error);
        if (code != TAVRIX_OK) return failed(err, "GetErrorNo", code);
        if (error != 0) {
            ctl_put_text(err, "tavrixctl: PutFileName: error %" PRId32 ": cannot read %s\n", error,
                         argv[1]);
            return 2;
        }
        const tavrix_value show = {TAVRIX_LONG, 1, 0.0, NULL};
        code = tavrix_call(obj, "ShowWindow", &show, 1, NULL, 0);
        return code == TAVRIX_OK ? 0 : failed(err, "ShowWindow", code);
    }
    if (strcmp(cmd, "set") == 0 && argc >= 2) {
        for (int i = 1; i < argc; ++i) {
            char* eq = strchr(argv[i], '=');
            if (!eq) {
                ctl_put_text(err, "tavrixctl: set needs Member=Value, not %s\n", argv[i]);
                return 1;
            }
            *eq = 0;
            char name[80];
            snprintf(name, sizeof name, "Put%s", argv[i]);
            char* value = eq + 1;
            const int status = run_member(obj, name, 1, &value, out, err);
            if (status != 0) return status;
        }
        return 0;
    }
    if (strcmp(cmd, "get") == 0 && argc == 2) {
        char name[80];
        snprintf(name, sizeof name, "Get%s", argv[1]);
        return run_member(obj, member_index(obj, name) >= 0 ? name : argv[1], 0, NULL, out, err);
    }
    if (strcmp(cmd, "call") == 0 && argc >= 2)
        return run_member(obj, argv[1], argc - 2, argv + 2, out, err);
    if (strcmp(cmd, "members") == 0 && argc == 1) {
        for (int i = 0; i < tavrix_member_count(obj); ++i)
            ctl_put_text(out, "%s(%s) -> (%s)\n", tavrix_member_name(obj, i),
                         tavrix_member_in(obj, i), tavrix_member_out(obj, i));
        return 0;
    }
    if (strcmp(cmd, "release") == 0 && argc == 1) {
        *release = 1;
        return 0;
    }
    ctl_put_text(err, "tavrixctl: unknown command: %s\n", cmd);
    return 1;
}

int ctl_run_request(tavrix_obj* obj, char* request, size_t used, ctl_output* out, ctl_output* err,
                    int* release) {
    *release = 0;
    if (used >= CTL_MAX_REQUEST) {
        ctl_put_text(err, "tavrixctl: the command is longer than %d bytes\n", CTL_MAX_REQUEST - 1);
        return 1;
    }
    /* The last word ends at used even without its NUL; no byte of it is
     * lost. */
    request[used] = 0;
    char* argv[CTL_MAX_WORDS];
    int argc = 0;
    for (size_t i = 0; i < used;) {
        if (argc == CTL_MAX_WORDS) {
            /* Never a command run with some of its words left out. */
            ctl_put_text(err, "tavrixctl: a command has at most %d words\n", CTL_MAX_WORDS);
            return 1;
        }
        argv[argc++] = request + i;
        i += strlen(request + i) + 1;
    }
    return run_command(obj, argc, argv, out, err, release);
}

void ctl_reply_start(ctl_reply_reader* r) {
    r->have_status = 0;
    r->status = 1;
    r->to = 1;
}

void ctl_reply_feed(ctl_reply_reader* r, const char* data, size_t n,
                    void (*emit)(void* context, int to, const char* text, size_t length),
                    void* context) {
    size_t start = 0;
    if (n > 0 && !r->have_status) {
        r->status = (unsigned char)data[0];
        r->have_status = 1;
        start = 1;
    }
    for (size_t i = start; i < n && r->to == 1; ++i) {
        if (data[i] != 0) continue;
        emit(context, 1, data + start, i - start);
        start = i + 1;
        r->to = 2;
    }
    if (start < n) emit(context, r->to, data + start, n - start);
}

int ctl_reply_status(const ctl_reply_reader* r) {
    return r->have_status && r->to == 2 ? r->status : -1;
}
