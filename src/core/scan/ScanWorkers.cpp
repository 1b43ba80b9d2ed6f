#include "core/scan/ScanWorkers.h"

namespace tabula {

void TScanWorkers::TJobUi::ShowMessage(const std::string& text) {
    TQuestion question{[&] { workers_.frontUi_->ShowMessage(text); }};
    workers_.Put(question);
}

TVolumeAnswer TScanWorkers::TJobUi::AskForVolume(const std::string& text, bool stopIcon) {
    TVolumeAnswer answer = TVolumeAnswer::NotShown;
    TQuestion question{[&] { answer = workers_.frontUi_->AskForVolume(text, stopIcon); }};
    workers_.Put(question);
    return answer;
}

TScanWorkers::TScanWorkers(unsigned workers, IZipUi* frontUi) : frontUi_(frontUi), jobUi_(*this) {
    threads_.reserve(workers);
    for (unsigned i = 0; i < workers; ++i) {
        threads_.emplace_back([this] { Work(); });
    }
}

TScanWorkers::~TScanWorkers() {
    {
        std::unique_lock lock(mutex_);
        // A job may still ask; nobody else would answer it.
        while (running_ > 0) {
            Answer(lock);
            if (running_ > 0) {
                progress_.wait(lock, [this] { return running_ == 0 || !questions_.empty(); });
            }
        }
        ending_ = true;
    }
    work_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

std::shared_ptr<const TScanWorkers::TTicket> TScanWorkers::Submit(std::function<void()> job) {
    auto ticket = std::make_shared<TTicket>();
    {
        std::lock_guard lock(mutex_);
        jobs_.emplace_back(std::move(job), ticket);
        ++running_;
    }
    work_.notify_one();
    return ticket;
}

void TScanWorkers::WaitFor(const TTicket& ticket) {
    std::unique_lock lock(mutex_);
    while (true) {
        Answer(lock);
        if (ticket.Done) {
            return;
        }
        progress_.wait(lock, [&] { return ticket.Done || !questions_.empty(); });
    }
}

void TScanWorkers::Answer(std::unique_lock<std::mutex>& lock) {
    while (!questions_.empty()) {
        TQuestion* question = questions_.front();
        questions_.pop_front();
        lock.unlock();
        try {
            question->Ask();
        } catch (...) {
            question->Failure = std::current_exception();
        }
        lock.lock();
        question->Answered = true;
        answered_.notify_all();
    }
}

void TScanWorkers::Put(TQuestion& question) {
    std::unique_lock lock(mutex_);
    questions_.push_back(&question);
    progress_.notify_all();
    answered_.wait(lock, [&] { return question.Answered; });
    if (question.Failure) {
        std::rethrow_exception(question.Failure);
    }
}

void TScanWorkers::Work() {
    std::unique_lock lock(mutex_);
    while (true) {
        work_.wait(lock, [this] { return ending_ || !jobs_.empty(); });
        if (jobs_.empty()) {
            return; // ending, and nothing left
        }
        auto [job, ticket] = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        job();
        job = nullptr; // what it holds goes on this thread, before the end is told
        lock.lock();
        ticket->Done = true;
        --running_;
        progress_.notify_all();
    }
}

} // namespace tabula
