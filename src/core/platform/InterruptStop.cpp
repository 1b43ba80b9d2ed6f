#include "core/platform/InterruptStop.h"

#include "core/platform/EmergencyCleanup.h"

#include <utility>

#include <fcntl.h>
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
    // A closed terminal and the quit key end a run as an interrupt does.
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGQUIT);
    return set;
}

} // namespace

TInterruptStop::TInterruptStop(std::string farewell) : farewell_(std::move(farewell)) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        notifyRead_ = fds[0];
        notifyWrite_ = fds[1];
    }
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
    if (notifyRead_ >= 0) {
        ::close(notifyRead_);
        ::close(notifyWrite_);
    }
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
            if (notifyWrite_ >= 0) {
                const char byte = 1;
                [[maybe_unused]] const ssize_t written = ::write(notifyWrite_, &byte, 1);
            }
            continue;
        }
        EmergencyCleanup::RunNowAndExit(128 + number, farewell_);
    }
}

} // namespace tabula
