#include "core/platform/Processors.h"

#include <gtest/gtest.h>

using namespace tabula;

// What the dynamic loader recorded names the same extensions as the
// compiler's own probe (a feature read from the wrong bit would pick a
// route the processor cannot run, or leave the fast one unused).
TEST(Processors, FeaturesAgreeWithTheCompilersProbe) {
    __builtin_cpu_init();
    const TProcessorFeatures& cpu = ProcessorFeatures();
    EXPECT_EQ(cpu.Avx2, __builtin_cpu_supports("avx2") != 0);
    EXPECT_EQ(cpu.Pclmul, __builtin_cpu_supports("pclmul") != 0);
    EXPECT_EQ(cpu.Vpclmulqdq, __builtin_cpu_supports("vpclmulqdq") != 0);
    EXPECT_EQ(cpu.Avx512f, __builtin_cpu_supports("avx512f") != 0);
    EXPECT_EQ(cpu.Avx512bw, __builtin_cpu_supports("avx512bw") != 0);
    EXPECT_EQ(cpu.Avx512vl, __builtin_cpu_supports("avx512vl") != 0);
    EXPECT_GE(ProcessorCount(), 1u);
}
