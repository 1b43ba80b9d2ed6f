#include "core/platform/Terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace tabula {

bool StandardOutputIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

bool StandardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

int StandardErrorColumns(int fallback) {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return fallback;
}

} // namespace tabula
