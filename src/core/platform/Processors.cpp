#include "core/platform/Processors.h"

#include <sched.h>

#include <thread>

namespace tabula {

unsigned ProcessorCount() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        if (const int count = CPU_COUNT(&set); count > 0) {
            return static_cast<unsigned>(count);
        }
    }
    const unsigned reported = std::thread::hardware_concurrency();
    return reported > 0 ? reported : 1;
}

} // namespace tabula
