/* tavrixctl: drive a Tavrix viewer from scripts and shells.
 *
 *   tavrixctl new                      starts a viewer, prints its handle H
 *   tavrixctl H show FILE|SEGMENT      FileName = FILE, then ShowWindow(1)
 *   tavrixctl H set Member=Value...    PutMember(Value) for each pair
 *   tavrixctl H get Member             prints GetMember's value(s)
 *   tavrixctl H call Method [ARG...]   prints the method's results
 *   tavrixctl H members                lists every member and its types
 *   tavrixctl H release                lets the viewer go
 *
 * A viewer belongs to the bus connection that created it, and lets go when
 * that connection does. So "new" leaves a small holder process behind that
 * owns the viewer's object and serves the other commands over a Unix socket
 * in a private folder ($XDG_RUNTIME_DIR/tavrixctl, else /tmp/tavrixctl-UID,
 * mode 0700). The handle H names the holder ("h" and its pid). The viewer
 * stays while the holder lives: "release", or killing the holder, lets it go.
 *
 * Exit status: 0 on success; 2 when a member fails (the member, the code and
 * the message are printed on stderr); 1 for a bad command line or a handle
 * that no longer answers. */
#define _GNU_SOURCE
#include "tavrixclient.h"
#include "tavrixctlProtocol.h"

#include <errno.h>
#include <fcntl.h>
#include <inttypes.h>
#include <poll.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#define MAX_REQUEST CTL_MAX_REQUEST
/* The holder serves one command at a time and trusts no connection: one
 * that has not sent its whole command after this long, or does not take
 * its reply, is dropped, so a silent client holds the others up for this
 * long at most. */
#define REQUEST_TIMEOUT_MS 5000
/* How long a command waits for the holder's reply: longer than any call to
 * the viewer may take (the client library gives one 30 s). */
#define REPLY_TIMEOUT_S 120

static void usage(FILE* to) {
    fputs("usage: tavrixctl new\n"
          "       tavrixctl H show FILE|SEGMENT\n"
          "       tavrixctl H set Member=Value...\n"
          "       tavrixctl H get Member\n"
          "       tavrixctl H call Method [ARG...]\n"
          "       tavrixctl H members\n"
          "       tavrixctl H release\n",
          to);
}

/* tavrixctl --help: the usage on standard output, with what each command does. */
static int help(void) {
    usage(stdout);
    fputs("\n"
          "Drive a Tavrix viewer from scripts and shells.\n"
          "\n"
          "  new       start a viewer and print its handle H (\"h\" and the pid of the\n"
          "            holder process that owns the viewer; the viewer stays while it lives)\n"
          "  show      FileName = FILE|SEGMENT, then ShowWindow(1)\n"
          "  set       PutMember(Value) for each Member=Value pair\n"
          "  get       print GetMember's value(s)\n"
          "  call      call any member with ARGs, print its results\n"
          "  members   list every member and its types\n"
          "  release   let the viewer go (as does killing the holder)\n"
          "  -h, --help  show this text\n"
          "\n"
          "The holder's socket is in $XDG_RUNTIME_DIR/tavrixctl (else /tmp/tavrixctl-UID).\n"
          "$TAVRIX_VIEWER names the viewer program to start.\n"
          "Exit status: 0 on success, 2 when a member fails (member, code and message on\n"
          "stderr), 1 for a bad command line or a handle that no longer answers.\n",
          stdout);
    return 0;
}

static int socket_folder(char* out, size_t size) {
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime)
        snprintf(out, size, "%s/tavrixctl", runtime);
    else
        snprintf(out, size, "/tmp/tavrixctl-%ld", (long)getuid());
    if (mkdir(out, 0700) != 0 && errno != EEXIST) return -1;
    struct stat st;
    /* Ours and private, or not used at all. */
    if (lstat(out, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() ||
        (st.st_mode & 077) != 0) {
        errno = EACCES;
        return -1;
    }
    return 0;
}

static int socket_path(const char* handle, struct sockaddr_un* addr) {
    char folder[200];
    if (socket_folder(folder, sizeof folder) != 0) return -1;
    if (handle[0] != 'h' || strspn(handle + 1, "0123456789") != strlen(handle + 1) ||
        strlen(handle) < 2 || strlen(handle) > 12) {
        errno = EINVAL;
        return -1;
    }
    memset(addr, 0, sizeof *addr);
    addr->sun_family = AF_UNIX;
    if (snprintf(addr->sun_path, sizeof addr->sun_path, "%s/%s", folder, handle) >=
        (int)sizeof addr->sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    return 0;
}

/* ---- The holder: runs the commands against its object ------------------- */

/* Writes all of data to fd; a reply may be far larger than the socket's
 * buffer. */
static int write_all(int fd, const void* data, size_t length) {
    const char* p = data;
    while (length > 0) {
        const ssize_t n = write(fd, p, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        p += n;
        length -= (size_t)n;
    }
    return 0;
}

static long long now_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

/* Reads a connection's command until the client ends its side, within
 * REQUEST_TIMEOUT_MS in all (a client that trickles a byte at a time gets no
 * longer); the bytes read, or -1 when it was too slow or too long. */
static ssize_t read_request(int fd, char* request, size_t size) {
    const long long deadline = now_ms() + REQUEST_TIMEOUT_MS;
    size_t used = 0;
    for (;;) {
        const long long left = deadline - now_ms();
        if (left <= 0) return -1;
        struct pollfd p = {fd, POLLIN, 0};
        const int ready = poll(&p, 1, (int)left);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return -1;
        if (used == size) return -1;
        const ssize_t n = read(fd, request + used, size - used);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) return (ssize_t)used;
        used += (size_t)n;
    }
}

static void serve(tavrix_obj* obj, int listener, const char* path) {
    for (;;) {
        const int fd = accept4(listener, NULL, NULL, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR) continue;
            break;
        }
        /* A reply the client does not take in time is dropped too. */
        const struct timeval send_limit = {REQUEST_TIMEOUT_MS / 1000, 0};
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &send_limit, sizeof send_limit);
        char* request = malloc(MAX_REQUEST);
        const ssize_t got = request ? read_request(fd, request, MAX_REQUEST) : -1;
        if (got < 0) {
            /* Too slow, too long or gone: no command, no reply. */
            close(fd);
            free(request);
            continue;
        }
        ctl_output out = {0}, err = {0};
        int release = 0;
        int status = ctl_run_request(obj, request, (size_t)got, &out, &err, &release);
        if (release) {
            const int32_t code = tavrix_release(obj);
            obj = NULL;
            if (code != TAVRIX_OK) {
                ctl_put_text(&err, "tavrixctl: Release: code 0x%08" PRIX32 ": %s\n", (uint32_t)code,
                             tavrix_last_error());
                status = 2;
            }
        }
        if (out.lost || err.lost) {
            /* Never a shortened answer that looks complete. */
            status = 1;
            out.used = 0;
            err.used = 0;
            err.lost = 0;
            ctl_put_text(&err, "tavrixctl: out of memory for the reply\n");
        }
        /* Reply: status byte, then stdout text, a zero, then stderr text. */
        const unsigned char s = (unsigned char)status;
        if (write_all(fd, &s, 1) == 0 && write_all(fd, out.text, out.used) == 0 &&
            write_all(fd, "", 1) == 0)
            (void)write_all(fd, err.text, err.used);
        close(fd);
        free(out.text);
        free(err.text);
        free(request);
        if (release) break;
    }
    unlink(path);
    if (obj) tavrix_release(obj);
}

static int command_new(void) {
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        perror("tavrixctl: pipe");
        return 1;
    }
    const pid_t holder = fork();
    if (holder < 0) {
        perror("tavrixctl: fork");
        return 1;
    }
    if (holder > 0) {
        close(report[1]);
        char line[1200];
        ssize_t got = 0, n;
        while ((n = read(report[0], line + got, sizeof line - 1 - (size_t)got)) > 0)
            got += n;
        line[got > 0 ? got : 0] = 0;
        if (got > 1 && line[0] == '+') {
            printf("%s\n", line + 1);
            return 0;
        }
        fprintf(stderr, "tavrixctl: new: %s\n", got > 1 ? line + 1 : "the holder ended");
        return 2;
    }
    /* The holder. */
    close(report[0]);
    setsid();
    signal(SIGPIPE, SIG_IGN);
    char handle[32];
    snprintf(handle, sizeof handle, "h%ld", (long)getpid());
    struct sockaddr_un addr;
    int listener = -1;
    if (socket_path(handle, &addr) == 0) {
        unlink(addr.sun_path);
        listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (listener >= 0 && (bind(listener, (struct sockaddr*)&addr, sizeof addr) != 0 ||
                              listen(listener, 8) != 0)) {
            close(listener);
            listener = -1;
        }
    }
    if (listener < 0) {
        dprintf(report[1], "-cannot make the holder's socket: %s", strerror(errno));
        _exit(2);
    }
    /* Neither the holder nor the viewer it starts keeps the caller's
     * terminal or pipes open (a shell's $(tavrixctl new) waits for them). */
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        close(null);
    }
    tavrix_obj* obj = NULL;
    const int32_t code = tavrix_create(&obj);
    if (code != TAVRIX_OK) {
        dprintf(report[1], "-code 0x%08" PRIX32 ": %s", (uint32_t)code, tavrix_last_error());
        unlink(addr.sun_path);
        _exit(2);
    }
    dprintf(report[1], "+%s", handle);
    close(report[1]);
    serve(obj, listener, addr.sun_path);
    _exit(0);
}

static void print_reply(void* context, int to, const char* text, size_t length) {
    (void)context;
    fwrite(text, 1, length, to == 1 ? stdout : stderr);
}

int main(int argc, char** argv) {
    if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) return help();
    if (argc == 2 && strcmp(argv[1], "new") == 0) return command_new();
    if (argc < 3) {
        usage(stderr);
        return 1;
    }
    struct sockaddr_un addr;
    if (socket_path(argv[1], &addr) != 0) {
        fprintf(stderr, "tavrixctl: %s is not a handle (%s)\n", argv[1], strerror(errno));
        return 1;
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || connect(fd, (struct sockaddr*)&addr, sizeof addr) != 0) {
        fprintf(stderr, "tavrixctl: handle %s does not answer (%s)\n", argv[1], strerror(errno));
        return 1;
    }
    signal(SIGPIPE, SIG_IGN);
    size_t total = 0;
    for (int i = 2; i < argc; ++i) {
        const size_t n = strlen(argv[i]) + 1;
        total += n;
        if (total > MAX_REQUEST - 1) {
            fprintf(stderr, "tavrixctl: the command is longer than %d bytes\n", MAX_REQUEST - 1);
            return 1;
        }
        if (write(fd, argv[i], n) != (ssize_t)n) {
            fprintf(stderr, "tavrixctl: handle %s went away\n", argv[1]);
            return 1;
        }
    }
    shutdown(fd, SHUT_WR);
    /* A holder that never answers is given up on, not waited for forever. */
    const struct timeval reply_limit = {REPLY_TIMEOUT_S, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &reply_limit, sizeof reply_limit);
    ctl_reply_reader reply;
    ctl_reply_start(&reply);
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        ctl_reply_feed(&reply, buffer, (size_t)n, print_reply, NULL);
    close(fd);
    /* A reply without its status or separator was cut short: what came is
     * not all. */
    const int status = ctl_reply_status(&reply);
    if (status < 0) {
        fprintf(stderr, "tavrixctl: handle %s went away\n", argv[1]);
        return 1;
    }
    return status;
}
