#include "core/platform/InterruptStop.h"
#include "core/platform/EmergencyCleanup.h"
#include "tests/support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include <poll.h>
#include <signal.h>
#include <unistd.h>

using tabula::TInterruptStop;
using tabula::test::TScratchDirectory;

namespace {

constexpr int StopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void AwaitFirst(const TInterruptStop& stop) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (stop.Signal() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace

TEST(InterruptStop, TheFirstSignalOnlyAsksAndWakesAnEventLoop) {
    for (const int number : StopSignals) {
        SCOPED_TRACE(number);
        const TInterruptStop stop("");
        ASSERT_GE(stop.NotifyDescriptor(), 0);
        EXPECT_EQ(stop.Signal(), 0);
        ASSERT_EQ(::kill(::getpid(), number), 0); // the process goes on
        pollfd ready{stop.NotifyDescriptor(), POLLIN, 0};
        EXPECT_EQ(::poll(&ready, 1, 10000), 1);
        EXPECT_EQ(stop.Signal(), number);
    }
}

TEST(InterruptStopDeathTest, ASecondSignalEndsAtOnceAfterTheEmergencyRemoval) {
    // Forked as the process stands: a re-run of the test in the child would
    // make scratch folders of its own that the child's end leaves behind.
    GTEST_FLAG_SET(death_test_style, "fast");
    for (const int second : StopSignals) {
        SCOPED_TRACE(second);
        TScratchDirectory scratch;
        const std::string partial = scratch.File("partial.nes");
        EXPECT_EXIT(
            {
                const TInterruptStop stop("stopped at once\n");
                tabula::test::WriteBytes(partial, "half a member");
                tabula::EmergencyCleanup::AddFile(partial);
                ::kill(::getpid(), SIGHUP);
                AwaitFirst(stop);
                ::kill(::getpid(), second);
                std::this_thread::sleep_for(std::chrono::seconds(10));
            },
            ::testing::ExitedWithCode(128 + second), "stopped at once");
        EXPECT_FALSE(std::filesystem::exists(partial));
    }
}
