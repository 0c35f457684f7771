// The control's diagnostic trace stream: one formatted line per event (level
// switches, grid-line counts, aborted draws). Closed unless someone sets it
// up for diagnosis; then every line goes to it under a lock and nothing else
// changes. Any thread.
#pragma once

#include <cstdio>

// Sets the stream the trace lines go to (null closes it). Not owned.
void aglSetTraceStream(std::FILE* stream);
// Writes one printf-style line when a stream is set.
void aglTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));
