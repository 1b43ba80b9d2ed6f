#pragma once

#include <QElapsedTimer>

namespace tabula {

// Lets a long command on the GUI thread update the screen and handle input
// at a human pace rather than at every step: Due is true at its first call
// and then once per interval.
class TPumpThrottle {
public:
    static constexpr int IntervalMs = 30;

    bool Due() {
        if (timer_.isValid() && timer_.elapsed() < IntervalMs) {
            return false;
        }
        timer_.start();
        return true;
    }

private:
    QElapsedTimer timer_;
};

} // namespace tabula
