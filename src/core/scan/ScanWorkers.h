#pragma once

#include "core/zip/ZipUi.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tabula {

// Worker threads for the files of a scan. The thread that makes it hands
// out jobs and waits for each to end, in the order it chooses; meanwhile it
// answers the questions the jobs put to the user (a message, a volume
// prompt), one at a time, through the front end's IZipUi, so the front end
// is only ever called from that thread.
class TScanWorkers {
public:
    // A handed-out job's state: done once it returned.
    struct TTicket {
        bool Done = false;
    };

    // frontUi may be null: the jobs then run without one.
    TScanWorkers(unsigned workers, IZipUi* frontUi);
    // Waits for every job handed out, then ends the threads.
    ~TScanWorkers();
    TScanWorkers(const TScanWorkers&) = delete;
    TScanWorkers& operator=(const TScanWorkers&) = delete;

    // The IZipUi the jobs give their collectors; null without a front end.
    IZipUi* JobUi() { return frontUi_ != nullptr ? &jobUi_ : nullptr; }

    // Hands out a job; it must not throw.
    std::shared_ptr<const TTicket> Submit(std::function<void()> job);
    // Waits until the job of ticket is done, answering questions meanwhile.
    void WaitFor(const TTicket& ticket);

private:
    // A question from a job, asked on the waiting thread.
    struct TQuestion {
        std::function<void()> Ask;
        bool Answered = false;
        std::exception_ptr Failure{};
    };

    // What the jobs' collectors see: questions go to the waiting thread and
    // the job waits for the answer; the busy pointer and event handling are
    // the front end's own business while its scan runs.
    class TJobUi : public IZipUi {
    public:
        explicit TJobUi(TScanWorkers& workers) : workers_(workers) {}
        void ShowMessage(const std::string& text) override;
        TVolumeAnswer AskForVolume(const std::string& text, bool stopIcon) override;
        void SetBusy(bool /*busy*/) override {}
        void Pump() override {}

    private:
        TScanWorkers& workers_;
    };

    void Put(TQuestion& question);
    void Work();
    // With lock held: answers the questions waiting.
    void Answer(std::unique_lock<std::mutex>& lock);

    IZipUi* frontUi_;
    TJobUi jobUi_;
    std::mutex mutex_;
    std::condition_variable work_;     // workers: a job, or the end
    std::condition_variable progress_; // the waiting thread: a job done, or a question
    std::condition_variable answered_; // jobs: their question answered
    std::deque<std::pair<std::function<void()>, std::shared_ptr<TTicket>>> jobs_;
    std::deque<TQuestion*> questions_;
    std::size_t running_ = 0; // jobs handed out and not yet done
    bool ending_ = false;
    std::vector<std::thread> threads_;
};

} // namespace tabula
