#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace tabula {

// The signals that ask a program to end (SIGINT, SIGTERM, SIGHUP, SIGQUIT),
// taken by a thread of their own so that no work happens in a handler. The
// first one only asks the program to stop (Signal() says which came, and
// NotifyDescriptor() becomes readable for an event loop), so it can end
// after the file at hand and remove its temporary files in order. A second
// one ends the process at once with status 128 + its number, after removing
// what EmergencyCleanup holds. Make it before any other thread starts, so
// that none of them takes the signals instead; one object at a time.
class TInterruptStop {
public:
    // farewell is written to the standard error stream when a second signal
    // ends the process.
    explicit TInterruptStop(std::string farewell);
    ~TInterruptStop();
    TInterruptStop(const TInterruptStop&) = delete;
    TInterruptStop& operator=(const TInterruptStop&) = delete;

    // The first signal that came, or 0.
    int Signal() const { return first_.load(); }
    // Readable once the first signal came (and stays so); -1 when no pipe
    // could be made, when only Signal() tells.
    int NotifyDescriptor() const { return notifyRead_; }

private:
    void Watch();

    std::string farewell_;
    std::atomic<int> first_{0};
    std::atomic<bool> closing_{false};
    int notifyRead_ = -1;
    int notifyWrite_ = -1;
    std::thread watcher_;
};

} // namespace tabula
