/* tavrixctl's socket protocol, both ends, apart from the sockets: what the
 * holder makes of a command's bytes and how it answers, and how the command
 * reads the answer. Kept apart from tavrixctl's main so that it can be
 * driven with any bytes (the fuzz target does, over a stand-in object).
 *
 * A command sends its words (the arguments after the handle), each followed
 * by a NUL byte, at most CTL_MAX_REQUEST - 1 bytes in all, then ends its side
 * of the connection. The holder answers with one status byte (the command's
 * exit status), the text for standard output, a NUL byte, and the text for
 * standard error; then it closes the connection. */
#ifndef TAVRIXCTL_PROTOCOL_H
#define TAVRIXCTL_PROTOCOL_H

#include "tavrixclient.h"

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#define CTL_MAX_REQUEST 65536
/* The most words one command may have. */
#define CTL_MAX_WORDS 255

/* Text gathered for one reply; grows to whatever a member returns. When it
 * cannot grow, lost is set and the reply becomes an error rather than a
 * shortened text. Start it zeroed; free text when done. */
typedef struct ctl_output {
    char* text;
    size_t size, used;
    int lost;
} ctl_output;

void ctl_put_text(ctl_output* o, const char* format, ...) __attribute__((format(printf, 2, 3)));

/* Runs the command in request[0, used) against obj: the words are split at
 * NUL bytes (the last may lack its NUL). request must have room for one
 * byte more than used, as it is modified in place. Fills out and err and
 * returns the exit status; *release is set when the command is "release"
 * (the caller releases obj). A request that is not a command (no words,
 * too many, too long) is answered with status 1 and a reason. */
int ctl_run_request(tavrix_obj* obj, char* request, size_t used, ctl_output* out, ctl_output* err,
                    int* release);

/* Reads a reply as it arrives, in pieces of any size: the status byte, then
 * the standard output text up to the NUL, then the standard error text.
 * emit(context, 1 or 2, text, length) gets each stretch of text. */
typedef struct ctl_reply_reader {
    int have_status;
    unsigned char status;
    int to; /* 1 until the NUL has come, then 2 */
} ctl_reply_reader;

void ctl_reply_start(ctl_reply_reader* r);
void ctl_reply_feed(ctl_reply_reader* r, const char* data, size_t n,
                    void (*emit)(void* context, int to, const char* text, size_t length),
                    void* context);
/* After the holder closed the connection: the status the command exits
 * with, or -1 when the reply was cut short (no status, or no NUL). */
int ctl_reply_status(const ctl_reply_reader* r);

#ifdef __cplusplus
}
#endif

#endif
