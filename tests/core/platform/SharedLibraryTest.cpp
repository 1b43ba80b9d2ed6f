#include "core/platform/SharedLibrary.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace tabula;

namespace {

std::string FailureOf(auto&& attempt) {
    try {
        attempt();
    } catch (const ESystemLibraryError& error) {
        return error.what();
    }
    return "no failure";
}

} // namespace

// A library loaded on first use gives working functions, and a missing
// library or function is refused by name rather than crashing later.
TEST(SystemLibrary, BindsFunctionsAndNamesWhatIsMissing) {
    const TSystemLibrary math("libm.so.6");
    const auto cosine = math.Function<double (*)(double)>("cos");
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);

    EXPECT_EQ(FailureOf([&] { math.Function<void (*)()>("no_such_function_here"); }),
              "Cannot load libm.so.6: it has no function no_such_function_here");
    const std::string missing = FailureOf([] { TSystemLibrary("libtabula-missing.so.7"); });
    EXPECT_TRUE(missing.starts_with("Cannot load libtabula-missing.so.7: ")) << missing;
}
