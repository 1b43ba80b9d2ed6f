#include "core/scan/ScanWorkers.h"

#include "core/checksum/RomHashes.h"

#include <algorithm>
#include <limits>

namespace tabula {

namespace {

// About 20 microseconds of asking before a wait sleeps.
constexpr int SpinBeforeSleep = 400;

void Relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
}

} // namespace

void TScanWorkers::TJobUi::ShowMessage(const std::string& text) {
    workers_.Put([&] { workers_.frontUi_->ShowMessage(text); });
}

TVolumeAnswer TScanWorkers::TJobUi::AskForVolume(const std::string& text, bool stopIcon) {
    TVolumeAnswer answer = TVolumeAnswer::NotShown;
    workers_.Put([&] { answer = workers_.frontUi_->AskForVolume(text, stopIcon); });
    return answer;
}

TScanWorkers::TScanWorkers(unsigned workers, std::size_t count, std::size_t window, IZipUi* frontUi,
                           TWork work)
    : count_(count), window_(window), frontUi_(frontUi), work_(std::move(work)), jobUi_(*this),
      done_(std::make_unique<std::atomic<bool>[]>(window)), alive_(0) {
    const unsigned started = workers > 1 ? workers - 1 : 0;
    alive_ = started;
    threads_.reserve(started);
    for (unsigned i = 0; i < started; ++i) {
        threads_.emplace_back([this] { Work(); });
    }
}

TScanWorkers::~TScanWorkers() {
    stopping_ = true;
    // A worker waiting for a room wakes only when the count moves: moved
    // past every room, it looks at stopping_ and ends.
    released_.store(std::numeric_limits<std::size_t>::max() - window_);
    released_.notify_all();
    // A started item may still ask; nobody else would answer it.
    while (true) {
        const std::uint32_t seen = events_.load();
        Answer();
        if (alive_.load() == 0) {
            break;
        }
        events_.wait(seen);
    }
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

void TScanWorkers::Signal() {
    events_.fetch_add(1);
    events_.notify_all();
}

bool TScanWorkers::WorkOneHere() {
    // Claimed only when its room is free: this thread is the one that frees
    // rooms, so it must never wait for one.
    const std::size_t limit = std::min(count_, released_.load(std::memory_order_relaxed) + window_);
    std::size_t next = claimed_.load();
    while (next < limit) {
        if (claimed_.compare_exchange_weak(next, next + 1)) {
            // A worker like the others: it finishes its own digests.
            const bool helperAllowed = AllowDigestHelper(false);
            work_(next, frontUi_);
            AllowDigestHelper(helperAllowed);
            done_[next % window_].store(true, std::memory_order_release);
            return true;
        }
    }
    return false;
}

void TScanWorkers::WaitFor(std::size_t index) {
    std::atomic<bool>& done = done_[index % window_];
    while (!done.load(std::memory_order_acquire)) {
        Answer();
        if (!WorkOneHere()) {
            break;
        }
    }
    // Small files end within microseconds: a short spin is cheaper than
    // sleeping and being woken for each.
    for (int spin = 0; spin < SpinBeforeSleep; ++spin) {
        if (done.load(std::memory_order_acquire)) {
            return;
        }
        Relax();
    }
    while (true) {
        const std::uint32_t seen = events_.load();
        if (done.load(std::memory_order_acquire)) {
            return;
        }
        Answer();
        if (done.load(std::memory_order_acquire)) {
            return;
        }
        events_.wait(seen);
    }
}

void TScanWorkers::Release(std::size_t index) {
    done_[index % window_].store(false, std::memory_order_relaxed);
    released_.store(index + 1, std::memory_order_release);
    released_.notify_all();
}

void TScanWorkers::Answer() {
    while (true) {
        // Held until told: the asker may end as soon as it hears.
        std::shared_ptr<TQuestion> question;
        {
            std::lock_guard lock(questionsMutex_);
            if (questions_.empty()) {
                return;
            }
            question = questions_.front();
            questions_.pop_front();
        }
        try {
            question->Ask();
        } catch (...) {
            question->Failure = std::current_exception();
        }
        question->Answered.store(true, std::memory_order_release);
        question->Answered.notify_all();
    }
}

void TScanWorkers::Put(std::function<void()> ask) {
    auto question = std::make_shared<TQuestion>();
    question->Ask = std::move(ask);
    {
        std::lock_guard lock(questionsMutex_);
        questions_.push_back(question);
    }
    Signal();
    question->Answered.wait(false, std::memory_order_acquire);
    if (question->Failure) {
        std::rethrow_exception(question->Failure);
    }
}

void TScanWorkers::Work() {
    IZipUi* const ui = frontUi_ != nullptr ? &jobUi_ : nullptr;
    // Each worker is a core's worth of work already.
    AllowDigestHelper(false);
    while (!stopping_) {
        const std::size_t index = claimed_.fetch_add(1);
        if (index >= count_) {
            break;
        }
        // The item's room is free once the one window places back is taken.
        for (std::size_t released = released_.load(std::memory_order_acquire);
             index >= released + window_; released = released_.load(std::memory_order_acquire)) {
            if (stopping_) {
                break;
            }
            released_.wait(released);
        }
        if (stopping_) {
            break;
        }
        work_(index, ui);
        done_[index % window_].store(true, std::memory_order_release);
        Signal();
    }
    --alive_;
    Signal();
}

} // namespace tabula
