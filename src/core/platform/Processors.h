#pragma once

namespace tabula {

// The processors this process may run on (its affinity mask, which a
// container or taskset narrows), at least 1.
unsigned ProcessorCount();

// Instruction-set extensions the processor has and the system lets programs
// use (the wide registers' state is saved on a switch).
struct TProcessorFeatures {
    bool Avx2 = false;
    bool Pclmul = false;
    bool Vpclmulqdq = false;
    bool Avx512f = false;
    bool Avx512bw = false;
    bool Avx512vl = false;
};

const TProcessorFeatures& ProcessorFeatures();

} // namespace tabula
