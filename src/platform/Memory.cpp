#include "platform/Memory.h"

#include <malloc.h>

namespace platform::memory {

void returnLargeBlocksToTheSystem()
{
    // Setting the threshold fixes it (no more raising); 1 MiB leaves small objects to the heap.
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
}

} // namespace platform::memory
