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

} // namespace platform
