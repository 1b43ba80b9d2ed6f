#pragma once

#include "core/scan/ScanDriver.h"
#include "core/zip/ZipUi.h"

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tabula {

class TGridRowSink;
class TProgressFrm;

// Runs a scan on a thread of its own while the GUI thread stays free: the
// GUI thread shows the progress, takes the rows in batches into the grid,
// answers the zip component's messages and volume prompts, and hears Cancel.
// The scan thread never touches a widget, and nothing of the scan runs
// inside the GUI thread's event handling.
class TBackgroundScan : public QObject {
    Q_OBJECT
public:
    // rows gets the scan's rows, progress the position and the file at
    // hand; zipUi answers on the GUI thread; cancelled is asked from the
    // scan thread.
    TBackgroundScan(TGridRowSink& rows, TProgressFrm& progress, IZipUi& zipUi,
                    const std::atomic<bool>& cancelled);
    ~TBackgroundScan() override;

    // Scans, handling the GUI thread's events until the scan has ended and
    // every row is in the grid; rethrows what ended the scan.
    TScanResult Run(const std::string& directory, const TScanOptions& options,
                    const TCollectFile& collect);

private:
    class TThreadSide;

    // On the GUI thread: takes what the scan thread left, answers its
    // question; true once the scan has ended and all is taken.
    bool Take();

    TGridRowSink& rows_;
    TProgressFrm& progress_;
    IZipUi& zipUi_;
    const std::atomic<bool>& cancelled_;
    bool taking_ = false;

    // Shared with the scan thread, under mutex_.
    std::mutex mutex_;
    std::condition_variable answered_;
    bool started_ = false;
    bool completed_ = false;
    std::vector<TRomTable::TRow> pendingRows_;
    std::vector<TRowExtras> pendingExtras_;
    std::optional<int> max_;
    int position_ = 0;
    std::string waitString_;
    std::function<void()> question_; // asked on the GUI thread
    bool questionAnswered_ = false;
    bool ended_ = false;
    TScanResult result_;
    std::exception_ptr failure_;
};

} // namespace tabula
