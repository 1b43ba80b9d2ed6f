#pragma once

namespace tabula {

// Turns SIGINT, SIGTERM and SIGHUP into a byte on a pipe, so that an event
// loop can end the program in order (temporary files removed, a save
// finished) instead of the process dying where it stands. Each signal is
// caught once: a second one of the same kind ends the process as usual.
// One object at a time; the handlers are restored when it ends.
class TTerminationSignals {
public:
    TTerminationSignals();
    ~TTerminationSignals();
    TTerminationSignals(const TTerminationSignals&) = delete;
    TTerminationSignals& operator=(const TTerminationSignals&) = delete;

    // Readable when a signal came; -1 when the pipe could not be made.
    int ReadDescriptor() const { return readFd_; }
    // The signal that came first since the last call, or 0.
    int Take();

private:
    int readFd_ = -1;
};

} // namespace tabula
