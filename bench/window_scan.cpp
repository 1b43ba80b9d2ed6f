// Times the window's own commands, driven as a user drives them: "Scan for
// roms ..." on a directory (the scan dialog answered with the directory and
// Enter), "Open datafile ..." on a file (the chooser answering with it), and
// FitColumns on a table of many rows, and Cancel pressed during a scan in NES
// mode, half a second in. Prints one line per run:
//     scan <seconds> <rows> <cpu seconds>   open <seconds> <rows>   fit <seconds> <rows>
//     cancel <seconds from the click to "Cancelled by user."> <seconds to the command's end>
// Usage: window_scan scan DIR [RUNS] | window_scan open FILE [RUNS] | window_scan fit ROWS [RUNS]
//        | window_scan cancel DIR [RUNS]
// Run it on the offscreen platform (QT_QPA_PLATFORM=offscreen) or under Xvfb.
#include "gui/app/Application.h"
#include "gui/app/Forms.h"
#include "gui/app/MainForm.h"
#include "gui/common/MessageBox.h"
#include "gui/romlist/EditGrid.h"
#include "gui/scan/ScanDialog.h"
#include "gui/widgets/EditPath.h"
#include "gui/widgets/ProgressForm.h"
#include "gui/widgets/ProgressFrm.h"

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

using namespace tabula;

namespace {

double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Every box answered as a user in a hurry does: OK, and "Don't save" when
// the rows of the last run are about to go.
QMessageBox::StandardButton AnswerAll(const TMessageBoxRequest& request) {
    return request.Buttons.testFlag(QMessageBox::Discard) ? QMessageBox::Discard : QMessageBox::Ok;
}

double TimeScan(const QString& directory) {
    MainForm->Clearlist1->trigger();
    QTimer::singleShot(0, ScanDialog, [directory] {
        ScanDialog->DirName->setText(directory);
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(ScanDialog->DirName, &enter);
    });
    QElapsedTimer timer;
    timer.start();
    MainForm->Scanforroms->trigger();
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// Seconds from Cancel to the box that tells of it, and to the command's end.
std::pair<double, double> TimeCancel(const QString& directory) {
    MainForm->Clearlist1->trigger();
    ScanDialog->NesScan->setChecked(true);
    QTimer::singleShot(0, ScanDialog, [directory] {
        ScanDialog->DirName->setText(directory);
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(ScanDialog->DirName, &enter);
    });
    QElapsedTimer sinceClick;
    double toBox = -1;
    SetMessageBoxSink([&](const TMessageBoxRequest& request) {
        if (request.Text == QStringLiteral("Cancelled by user.") && sinceClick.isValid()) {
            toBox = static_cast<double>(sinceClick.nsecsElapsed()) / 1e9;
        }
        return AnswerAll(request);
    });
    QTimer::singleShot(500, MainForm->ProgressFrm->Form(), [&sinceClick] {
        sinceClick.start();
        MainForm->ProgressFrm->Form()->Cancel->click();
    });
    MainForm->Scanforroms->trigger();
    const double toEnd = static_cast<double>(sinceClick.nsecsElapsed()) / 1e9;
    SetMessageBoxSink(AnswerAll);
    ScanDialog->RadioButton1->setChecked(true);
    return {toBox, toEnd};
}

double TimeOpen(const QString& file) {
    MainForm->AskOpenName = [file](QWidget*, const QString&) { return file; };
    QElapsedTimer timer;
    timer.start();
    MainForm->Opendatafile->trigger();
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

double TimeFit(int rows) {
    TEditGrid* grid = MainForm->EditGrid1;
    grid->SetRowCount(1);
    grid->SetRowCount(rows + 1);
    for (int row = 1; row <= rows; ++row) {
        const std::string n = std::to_string(row);
        grid->SetCell(0, row, "game " + n + " (europe)");
        grid->SetCell(1, row, "Game " + n + " (Europe)");
        grid->SetCell(2, row, "game " + n + " (europe)");
        grid->SetCell(3, row, "Game " + n + " (Europe)");
        grid->SetCell(4, row, "game " + n + " (europe).sfc");
        char crc[9];
        std::snprintf(crc, sizeof crc, "%08X", static_cast<unsigned>(row) * 2654435761u);
        grid->SetCell(5, row, crc);
        grid->SetCell(6, row, std::to_string(131072 + row * 37));
    }
    QElapsedTimer timer;
    timer.start();
    grid->FitColumns(true, 0);
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: window_scan scan DIR [RUNS] | window_scan open FILE [RUNS] | "
                             "window_scan fit ROWS [RUNS] | window_scan cancel DIR [RUNS]\n");
        return 2;
    }
    const std::string what = argv[1];
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    CreateForms();
    SetMessageBoxSink(AnswerAll);
    MainForm->show();
    QCoreApplication::processEvents();
    for (int run = 0; run < runs; ++run) {
        if (what == "scan") {
            const double cpu = CpuSeconds();
            const double seconds = TimeScan(QString::fromLocal8Bit(argv[2]));
            std::printf("scan %.4f %d %.4f\n", seconds, MainForm->EditGrid1->RowCount() - 1,
                        CpuSeconds() - cpu);
        } else if (what == "cancel") {
            const auto [toBox, toEnd] = TimeCancel(QString::fromLocal8Bit(argv[2]));
            std::printf("cancel %.4f %.4f\n", toBox, toEnd);
        } else if (what == "open") {
            const double seconds = TimeOpen(QString::fromLocal8Bit(argv[2]));
            std::printf("open %.4f %d\n", seconds, MainForm->EditGrid1->RowCount() - 1);
        } else {
            const int rows = std::atoi(argv[2]);
            std::printf("fit %.4f %d\n", TimeFit(rows), rows);
        }
        std::fflush(stdout);
    }
    DestroyForms();
    return 0;
}
