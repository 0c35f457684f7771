// Protection against files that shrink while they are mapped.
//
// Reading a page of a mapped file beyond the file's current end raises
// SIGBUS. Another program may truncate an array file at any moment, so every
// file mapping is registered here. A process-wide SIGBUS handler recognises a
// fault inside a registered range, maps a page of zeros over the faulting page
// (so the reading instruction resumes and reads 0) and counts the fault
// against the range. Owners poll faultCount() to learn that their file
// changed under them; the data path pays nothing.
//
// Faults outside registered ranges keep the default behaviour (the process
// dies), so real programming errors are not hidden.
#pragma once

#include <cstddef>

namespace platform {

// Registers [base, base + length) and returns a handle (>= 0), or -1 when
// the table is full (the mapping then works, unguarded). Any thread.
int guardMapping(void* base, size_t length);

// Removes a registration before its memory is unmapped. Any thread.
void unguardMapping(int handle);

// Number of pages of the range that faulted and were replaced by zeros.
int faultCount(int handle);

} // namespace platform
