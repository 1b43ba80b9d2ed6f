// Shows the main window with its progress window over it, the bar at half,
// for screenshots and for driving the window by hand under a virtual
// display. A click on Cancel prints "cancelled" and hides the progress window.
#include "gui/app/Application.h"
#include "gui/app/Forms.h"
#include "gui/app/MainForm.h"
#include "gui/widgets/ProgressFrm.h"

#include <cstdio>

int main(int argc, char** argv) {
    tabula::TApplication app(argc, argv);
    tabula::CreateForms();
    tabula::TMainForm* window = tabula::MainForm;
    window->show();
    tabula::TProgressFrm* progress = window->ProgressFrm;
    progress->SetOnCancel([window, progress] {
        window->CancelScan();
        std::puts("cancelled");
        std::fflush(stdout);
        progress->HideProgress();
    });
    progress->ShowProgress(window);
    progress->SetMax(100);
    progress->SetWaitString(QStringLiteral("Processing file Hero Quest (E).zip ..."));
    progress->SetPosition(50);
    const int status = app.exec();
    tabula::DestroyForms();
    return status;
}
