#include "core/platform/TerminationSignals.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>

using tabula::TTerminationSignals;

TEST(TerminationSignals, ASignalBecomesAReadableByteOnce) {
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        TTerminationSignals signals;
        ASSERT_GE(signals.ReadDescriptor(), 0);
        EXPECT_EQ(signals.Take(), 0);
        ASSERT_EQ(raise(number), 0); // the process goes on
        pollfd ready{signals.ReadDescriptor(), POLLIN, 0};
        EXPECT_EQ(poll(&ready, 1, 1000), 1);
        EXPECT_EQ(signals.Take(), number);
        EXPECT_EQ(signals.Take(), 0);
        // Caught once: the handler is the default again.
        struct sigaction now {};
        sigaction(number, nullptr, &now);
        EXPECT_EQ(now.sa_handler, SIG_DFL);
    }
}
