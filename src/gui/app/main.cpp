#include "core/platform/InterruptStop.h"
#include "core/platform/PrivateDirectory.h"
#include "gui/app/Application.h"
#include "gui/app/Forms.h"
#include "gui/app/MainForm.h"

#include <QSocketNotifier>

int main(int argc, char** argv) {
    // Before the application object starts any thread that could take them.
    const tabula::TInterruptStop termination("\ntabula: asked again to end: stopped at once\n");
    tabula::AnchorTemporaryDirectory();
    tabula::TApplication app(argc, argv);
    tabula::CreateForms();
    tabula::MainForm->show();

    // Asked to end (logout, kill, Ctrl+C): a running scan is cancelled and
    // cleans up first; then the program quits, dialogs and all, and its
    // temporary files go. A second request ends it at once, after removing
    // the private folders of the scan at hand.
    QSocketNotifier notifier(termination.NotifyDescriptor(), QSocketNotifier::Read);
    notifier.setEnabled(termination.NotifyDescriptor() >= 0);
    QObject::connect(&notifier, &QSocketNotifier::activated, tabula::MainForm, [&] {
        notifier.setEnabled(false);
        tabula::MainForm->QuitAfterScan();
    });

    const int result = tabula::TApplication::exec();
    tabula::DestroyForms();
    // Ended by a signal: say so the way a shell expects.
    const int caught = termination.Signal();
    return caught != 0 ? 128 + caught : result;
}
