#pragma once

#include "core/zip/ZipUi.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace tabula::test {

// Records what the zip component would have shown; answers volume prompts
// from a queue (Cancel when it is empty) or through OnAsk.
class TRecordingZipUi : public IZipUi {
public:
    void ShowMessage(const std::string& text) override { Shown.push_back(text); }
    TVolumeAnswer AskForVolume(const std::string& text, bool stopIcon) override {
        Prompts.push_back(text);
        StopIcons.push_back(stopIcon);
        if (OnAsk) {
            return OnAsk(text);
        }
        if (Answers.empty()) {
            return TVolumeAnswer::Cancel;
        }
        const TVolumeAnswer answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    void SetBusy(bool busy) override { BusyCalls.push_back(busy); }
    void Pump() override {
        ++Pumps;
        if (OnPump) {
            OnPump(Pumps);
        }
    }

    std::vector<std::string> Shown;
    std::vector<std::string> Prompts;
    std::vector<bool> StopIcons;
    std::deque<TVolumeAnswer> Answers;
    // Answers instead of the queue when set (a test changes disks here).
    std::function<TVolumeAnswer(const std::string&)> OnAsk;
    std::vector<bool> BusyCalls;
    int Pumps = 0;
    // Runs on each pump with its number (a test changes files here, while
    // the library is extracting).
    std::function<void(int)> OnPump;
};

} // namespace tabula::test
