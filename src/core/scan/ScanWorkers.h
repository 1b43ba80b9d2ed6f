#pragma once

#include "core/zip/ZipUi.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tabula {

// Worker threads for the files of a scan. Work items 0 .. count - 1 are taken
// by the workers in order, at most window of them ahead of the one the
// scan's own thread takes next; that thread waits for each item in order,
// answering meanwhile the questions the items put to the user (a message, a
// volume prompt), one at a time, through the front end's IZipUi, so the
// front end is only ever called from that thread. While the item it waits
// for is not done, it does the next free item itself: it is one of the
// workers, so as many threads as processors keep every processor busy
// without taking turns at one. Handing out costs no system call while the
// workers keep ahead: items are claimed from a shared counter and their ends
// published in flags the waiting thread reads.
class TScanWorkers {
public:
    // work(index, ui) does one item; it must not throw. ui asks the front end
    // (null without one); on the waiting thread it is the front end itself.
    // The items at index and index + window share a room: the caller keeps
    // each item's outcome in room index % window. workers counts the waiting
    // thread: workers - 1 threads are started.
    using TWork = std::function<void(std::size_t index, IZipUi* ui)>;
    TScanWorkers(unsigned workers, std::size_t count, std::size_t window, IZipUi* frontUi,
                 TWork work);
    // Lets no new item start, waits for those started, ends the threads.
    ~TScanWorkers();
    TScanWorkers(const TScanWorkers&) = delete;
    TScanWorkers& operator=(const TScanWorkers&) = delete;

    // Waits until item index is done, answering questions meanwhile.
    void WaitFor(std::size_t index);
    // Item index is taken: its room may take the item window places on.
    void Release(std::size_t index);

private:
    struct TQuestion {
        std::function<void()> Ask;
        std::atomic<bool> Answered{false};
        std::exception_ptr Failure{};
    };

    // What the items' collectors see: questions go to the waiting thread.
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

    // Has the waiting thread ask, and waits for it.
    void Put(std::function<void()> ask);
    void Work();
    // Does the next item no worker has claimed, when its room is free; false
    // when there is none.
    bool WorkOneHere();
    void Answer();
    void Signal();

    const std::size_t count_;
    const std::size_t window_;
    IZipUi* frontUi_;
    TWork work_;
    TJobUi jobUi_;
    std::unique_ptr<std::atomic<bool>[]> done_; // per room
    std::atomic<std::size_t> claimed_{0};       // the next item a worker takes
    std::atomic<std::size_t> released_{0};      // items taken by the waiting thread
    std::atomic<bool> stopping_{false};
    std::atomic<unsigned> alive_;          // workers not yet ended
    std::atomic<std::uint32_t> events_{0}; // moves on each end and question
    std::mutex questionsMutex_;
    std::deque<std::shared_ptr<TQuestion>> questions_;
    std::vector<std::thread> threads_;
};

} // namespace tabula
