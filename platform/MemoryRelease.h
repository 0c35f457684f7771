// Taking and giving back large blocks of private memory.
//
// Memory written for the first time costs a fault per 4 KiB page (several
// microseconds each in a virtual machine): takePages takes them all in one
// call instead, on the thread that is about to fill them.
//
// Unmapping megabytes frees every page in one call, and for that whole time
// the process's address space is closed to any thread that maps memory (a
// large malloc, a new array): on a virtual machine freeing 8 MiB takes
// about 10 ms. Dropping the pages a piece at a time first keeps each hold
// short; the unmapping that follows has nothing left to free.
#pragma once

#include <cstddef>

namespace platform {

// Drops the pages wholly inside [data, data + bytes), 2 MiB at a time: they
// read as zeros afterwards. For private anonymous memory about to be freed
// (a mapping of its own, or a heap block's interior); never for a shared or
// file mapping whose contents must stay. Any thread.
void dropPagesInSteps(void* data, size_t bytes);

// Gives [data, data + bytes) its pages now, ready to be written, rather than
// one fault at a time as it is. For private anonymous memory about to be
// filled. Kernels before 5.14 refuse; the pages then come fault by fault.
// Any thread.
void takePages(void* data, size_t bytes);

// For a short-lived process that is about to take tens of megabytes on
// several threads (a GL driver, its vertex and scene memory, a frame): every
// thread then allocates from the one heap, blocks up to 32 MiB included; the
// heap grows by `reserve` bytes at once (more when asked for more), keeps
// what is freed for the next block, and asks the kernel for 2 MiB pages for
// that first `reserve`, so that a fresh megabyte costs half a fault rather
// than 256. Call first thing in main, before a thread starts. Not for a
// long-lived process: its heap never shrinks. True when the heap has the
// advice; false where the allocator is not glibc's own (a sanitizer's) or
// the kernel keeps to small pages, which changes nothing but speed.
bool useOneLargePageHeap(size_t reserve);

} // namespace platform
