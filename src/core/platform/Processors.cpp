#include "core/platform/Processors.h"

#include <sched.h>

#if __has_include(<sys/platform/x86.h>)
// The header is written for C; its _Bool is C++'s bool (g++ knows the C
// name, clang does not).
#define _Bool bool
#include <sys/platform/x86.h>
#undef _Bool
#define TABULA_LOADER_CPU_FEATURES 1
#endif

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

namespace {

TProcessorFeatures DetectFeatures() {
    TProcessorFeatures features;
#ifdef TABULA_LOADER_CPU_FEATURES
    // What the dynamic loader found at start: asking the processor again
    // costs a trap into the hypervisor per question on a virtual machine,
    // and libgcc's probe asks a dozen at every start of the program.
    features.Avx2 = CPU_FEATURE_ACTIVE(AVX2);
    features.Pclmul = CPU_FEATURE_ACTIVE(PCLMULQDQ);
    features.Vpclmulqdq = CPU_FEATURE_ACTIVE(VPCLMULQDQ);
    features.Avx512f = CPU_FEATURE_ACTIVE(AVX512F);
    features.Avx512bw = CPU_FEATURE_ACTIVE(AVX512BW);
    features.Avx512vl = CPU_FEATURE_ACTIVE(AVX512VL);
#else
    __builtin_cpu_init();
    features.Avx2 = __builtin_cpu_supports("avx2");
    features.Pclmul = __builtin_cpu_supports("pclmul");
    features.Vpclmulqdq = __builtin_cpu_supports("vpclmulqdq");
    features.Avx512f = __builtin_cpu_supports("avx512f");
    features.Avx512bw = __builtin_cpu_supports("avx512bw");
    features.Avx512vl = __builtin_cpu_supports("avx512vl");
#endif
    return features;
}

} // namespace

const TProcessorFeatures& ProcessorFeatures() {
    static const TProcessorFeatures features = DetectFeatures();
    return features;
}

} // namespace tabula
