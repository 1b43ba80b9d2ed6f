#include "core/platform/InterruptStop.h"

#include "core/platform/EmergencyCleanup.h"

#include <utility>

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

namespace tabula {

namespace {

sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

} // namespace

TInterruptStop::TInterruptStop(std::string farewell) : farewell_(std::move(farewell)) {
    const sigset_t set = StopSignals();
    // Blocked here, the signals wait for the watcher; threads started later
    // inherit the mask.
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    watcher_ = std::thread([this] { Watch(); });
}

TInterruptStop::~TInterruptStop() {
    closing_.store(true);
    pthread_kill(watcher_.native_handle(), SIGTERM);
    watcher_.join();
    const sigset_t set = StopSignals();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void TInterruptStop::Watch() {
    const sigset_t set = StopSignals();
    for (;;) {
        int number = 0;
        if (sigwait(&set, &number) != 0 || closing_.load()) {
            return;
        }
        int expected = 0;
        if (first_.compare_exchange_strong(expected, number)) {
            continue;
        }
        EmergencyCleanup::RunNow();
        [[maybe_unused]] const ssize_t written =
            ::write(STDERR_FILENO, farewell_.data(), farewell_.size());
        ::_exit(128 + number);
    }
}

} // namespace tabula
