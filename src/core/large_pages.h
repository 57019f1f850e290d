// Large buffers (image planes, files read whole, encoded pictures) are first touched page by
// page, and on some machines each 4 KiB page fault costs microseconds (on one virtual machine
// the first touch of 1 GiB took 3 s in 4 KiB pages, 0.1 to 1.3 s in 2 MiB pages). Asked
// before the first touch, the kernel backs such a buffer with 2 MiB pages where it can
// (transparent huge pages in "madvise" mode).
#pragma once
#include <cstddef>

// Asks for 2 MiB pages over the whole 2 MiB blocks inside [p, p + n); buffers under a few
// MiB, systems without the feature and refusals are left as they are.
void AdviseLargePages(void* p, size_t n);
