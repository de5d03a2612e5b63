#include "platform/System.h"

#include <malloc.h>
#include <unistd.h>

int64_t PhysicalMemoryBytes()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? int64_t{pages} * pageSize : 0;
}

void UseOneMallocArena()
{
#ifdef __GLIBC__
    mallopt(M_ARENA_MAX, 1);
#endif
}

bool StandardErrorIsTerminal()
{
    return isatty(STDERR_FILENO) != 0;
}
