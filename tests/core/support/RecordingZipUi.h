#pragma once

#include "zip/ZipUi.h"

#include <deque>
#include <string>
#include <vector>

namespace tabula::test {

// Records what the zip component would have shown; answers volume prompts
// from a queue (Cancel when it is empty).
class TRecordingZipUi : public IZipUi {
public:
    void ShowMessage(const std::string& text) override { Shown.push_back(text); }
    int AskForVolume(const std::string& text, bool stopIcon) override {
        Prompts.push_back(text);
        StopIcons.push_back(stopIcon);
        if (Answers.empty()) {
            return 2;
        }
        const int answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    void SetBusy(bool busy) override { BusyCalls.push_back(busy); }
    void Pump() override { ++Pumps; }

    std::vector<std::string> Shown;
    std::vector<std::string> Prompts;
    std::vector<bool> StopIcons;
    std::deque<int> Answers;
    std::vector<bool> BusyCalls;
    int Pumps = 0;
};

} // namespace tabula::test
