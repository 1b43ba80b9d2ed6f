#pragma once

namespace tabula {

// The processors this process may run on (its affinity mask, which a
// container or taskset narrows), at least 1.
unsigned ProcessorCount();

} // namespace tabula
