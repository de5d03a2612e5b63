#include "platform/System.h"

#include <malloc.h>
#include <unistd.h>

int64_t PhysicalMemoryBytes()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? int64_t{pages} * pageSize : 0;
}

void TuneAllocatorForPictures()
{
#ifdef __GLIBC__
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    mallopt(M_TRIM_THRESHOLD, 4 << 20);
#endif
}

void ReturnFreeMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

bool StandardErrorIsTerminal()
{
    return isatty(STDERR_FILENO) != 0;
}
