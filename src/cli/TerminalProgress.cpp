#include "cli/TerminalProgress.h"

#include "cli/TerminalText.h"
#include "core/text/StringsTools.h"

#include <algorithm>

namespace tabula {

namespace {

constexpr int BarWidth = 24;
// Redrawing for every file would cost more than many small files take.
constexpr auto RedrawInterval = std::chrono::milliseconds(100);
const char* const EraseLine = "\r\x1b[K";

} // namespace

TTerminalProgress::TTerminalProgress(std::ostream& err, bool draw, int columns)
    : err_(err), draw_(draw), columns_(columns) {}

std::string TTerminalProgress::BarLine(int position, int max, const std::string& text,
                                       int columns) {
    const int shown = std::clamp(position, 0, std::max(max, 0));
    const int filled =
        max > 0 ? static_cast<int>(static_cast<long long>(shown) * BarWidth / max) : 0;
    std::string line;
    line.reserve(BarWidth + 32);
    line += '[';
    line.append(static_cast<size_t>(filled), '#');
    line.append(static_cast<size_t>(BarWidth - filled), '.');
    line += "] ";
    line += std::to_string(position);
    line += '/';
    line += std::to_string(max);
    line += ' ';
    const std::ptrdiff_t room = static_cast<std::ptrdiff_t>(columns) - 1 - CharCount(line);
    if (room <= 0) {
        return SubString(line, 1, std::max(columns - 1, 0));
    }
    return line + SubString(TerminalMessage(text), 1, room);
}

void TTerminalProgress::Pump() {
    if (!draw_) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (shown_ && now - lastDraw_ < RedrawInterval && position_ < max_) {
        return;
    }
    lastDraw_ = now;
    err_ << EraseLine << BarLine(position_, max_, waitString_, columns_) << std::flush;
    shown_ = true;
}

void TTerminalProgress::ClearLine() {
    if (shown_) {
        err_ << EraseLine << std::flush;
        shown_ = false;
    }
}

void TTerminalProgress::Message(const std::string& text) {
    ClearLine();
    err_ << "tabula-cli: " << TerminalMessage(text) << '\n' << std::flush;
}

void TTerminalProgress::FileFailed(const TScanFailure& failure) {
    Message(failure.Name + ": " + failure.Message);
}

} // namespace tabula
