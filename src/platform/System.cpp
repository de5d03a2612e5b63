#include "platform/System.h"

#include <unistd.h>

int64_t PhysicalMemoryBytes()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? int64_t{pages} * pageSize : 0;
}
