#include "gui/scan/BackgroundScan.h"

#include "gui/romlist/GridRowSink.h"
#include "gui/widgets/ProgressFrm.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <thread>
#include <utility>

namespace tabula {

namespace {
// How often the GUI thread brings the grid and the progress window up to date:
// twenty times a second looks continuous, and each repaint of both takes
// processor time from the scan (at 30 ms, 20,000 small files took 6% longer).
constexpr int TakeIntervalMs = 50;
} // namespace

// What the scan thread sees: its progress, rows and questions go into the
// shared state, and the GUI thread is woken to take them.
class TBackgroundScan::TThreadSide : public IScanProgress, public IRomRowSink, public IZipUi {
public:
    explicit TThreadSide(TBackgroundScan& scan) : scan_(scan) {}

    void SetMax(int max) override {
        std::lock_guard lock(scan_.mutex_);
        scan_.max_ = max;
    }
    void StepPosition() override {
        std::lock_guard lock(scan_.mutex_);
        ++scan_.position_;
    }
    void SetWaitString(const std::string& text) override {
        std::lock_guard lock(scan_.mutex_);
        scan_.waitString_ = text;
    }
    void Pump() override {}
    bool CancelRequested() override { return scan_.cancelled_.load(); }

    void ListingStarted() override {
        std::lock_guard lock(scan_.mutex_);
        scan_.started_ = true;
    }
    void AddRomRow(const TRomTable::TRow& row) override { AddScannedRow(row, {}); }
    void AddScannedRow(const TRomTable::TRow& row, const TRowExtras& extras) override {
        std::lock_guard lock(scan_.mutex_);
        scan_.pendingRows_.push_back(row);
        scan_.pendingExtras_.push_back(extras);
    }
    void ListingCompleted() override {
        std::lock_guard lock(scan_.mutex_);
        scan_.completed_ = true;
    }

    void ShowMessage(const std::string& text) override {
        Ask([this, &text] { scan_.zipUi_.ShowMessage(text); });
    }
    TVolumeAnswer AskForVolume(const std::string& text, bool stopIcon) override {
        TVolumeAnswer answer = TVolumeAnswer::NotShown;
        Ask([&] { answer = scan_.zipUi_.AskForVolume(text, stopIcon); });
        return answer;
    }
    // The progress window shows that the program is busy.
    void SetBusy(bool /*busy*/) override {}

private:
    // Waits until the GUI thread has asked: boxes are shown there only.
    void Ask(std::function<void()> question) {
        std::unique_lock lock(scan_.mutex_);
        scan_.question_ = std::move(question);
        scan_.questionAnswered_ = false;
        QMetaObject::invokeMethod(
            &scan_, [this] { scan_.Take(); }, Qt::QueuedConnection);
        scan_.answered_.wait(lock, [this] { return scan_.questionAnswered_; });
    }

    TBackgroundScan& scan_;
};

TBackgroundScan::TBackgroundScan(TGridRowSink& rows, TProgressFrm& progress, IZipUi& zipUi,
                                 const std::atomic<bool>& cancelled)
    : rows_(rows), progress_(progress), zipUi_(zipUi), cancelled_(cancelled) {}

TBackgroundScan::~TBackgroundScan() = default;

TScanResult TBackgroundScan::Run(const std::string& directory, const TScanOptions& options,
                                 const TCollectFile& collect) {
    TThreadSide side(*this);
    std::thread thread([&] {
        try {
            TScanDriver driver(side, side, &side);
            if (collect) {
                driver.SetCollectFile(collect);
            }
            TScanResult result = driver.Scan(directory, options);
            std::lock_guard lock(mutex_);
            result_ = std::move(result);
        } catch (...) {
            std::lock_guard lock(mutex_);
            failure_ = std::current_exception();
        }
        std::lock_guard lock(mutex_);
        ended_ = true;
        QMetaObject::invokeMethod(
            this, [this] { Take(); }, Qt::QueuedConnection);
    });
    QTimer timer;
    timer.setInterval(TakeIntervalMs);
    connect(&timer, &QTimer::timeout, this, [this] { Take(); });
    timer.start();
    // Until the scan has ended and all it left is taken; a scan of nothing
    // may end before the first look.
    while (!Take()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    timer.stop();
    thread.join();
    if (failure_) {
        std::rethrow_exception(failure_);
    }
    return result_;
}

bool TBackgroundScan::Take() {
    // The progress window's setters handle events, in which the timer may
    // come again: what is being taken is taken once.
    if (taking_) {
        return false;
    }
    taking_ = true;
    std::function<void()> question;
    bool started = false;
    bool completed = false;
    bool ended = false;
    std::optional<int> max;
    int position = 0;
    std::string waitString;
    std::vector<TRomTable::TRow> rows;
    std::vector<TRowExtras> extras;
    {
        std::lock_guard lock(mutex_);
        question = std::move(question_);
        question_ = nullptr;
        started = std::exchange(started_, false);
        rows.swap(pendingRows_);
        extras.swap(pendingExtras_);
        // The end is taken only with the rows that came before it.
        completed = std::exchange(completed_, false);
        ended = ended_;
        max = std::exchange(max_, std::nullopt);
        position = position_;
        waitString = waitString_;
    }
    if (started) {
        rows_.ListingStarted();
    }
    rows_.AddScannedRows(std::move(rows), std::move(extras));
    rows_.Flush();
    if (completed) {
        rows_.ListingCompleted();
    }
    if (max) {
        progress_.SetMax(*max);
    }
    if (position != progress_.Position()) {
        progress_.SetPosition(position);
    }
    if (const QString text = QString::fromStdString(waitString);
        !waitString.empty() && text != progress_.WaitString()) {
        progress_.SetWaitString(text);
    }
    if (question) {
        question();
        std::lock_guard lock(mutex_);
        questionAnswered_ = true;
        answered_.notify_all();
    }
    taking_ = false;
    return ended && !question;
}

} // namespace tabula
