#include "core/platform/TerminationSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace tabula {

namespace {
int writeFd = -1;
constexpr int Signals[] = {SIGINT, SIGTERM, SIGHUP};

void OnSignal(int number) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(number);
    // Nothing to do if the pipe is full: a byte is already waiting.
    [[maybe_unused]] const ssize_t written = write(writeFd, &byte, 1);
    errno = saved;
}
} // namespace

TTerminationSignals::TTerminationSignals() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    readFd_ = fds[0];
    writeFd = fds[1];
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (const int number : Signals) {
        sigaction(number, &action, nullptr);
    }
}

TTerminationSignals::~TTerminationSignals() {
    if (readFd_ < 0) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int number : Signals) {
        sigaction(number, &action, nullptr);
    }
    close(writeFd);
    close(readFd_);
    writeFd = -1;
}

int TTerminationSignals::Take() {
    int first = 0;
    unsigned char byte = 0;
    while (readFd_ >= 0 && read(readFd_, &byte, 1) == 1) {
        first = first == 0 ? byte : first;
    }
    return first;
}

} // namespace tabula
