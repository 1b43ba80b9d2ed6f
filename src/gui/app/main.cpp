#include "core/platform/TerminationSignals.h"
#include "gui/app/Application.h"
#include "gui/app/Forms.h"
#include "gui/app/MainForm.h"

#include <QSocketNotifier>

int main(int argc, char** argv) {
    tabula::TApplication app(argc, argv);
    tabula::CreateForms();
    tabula::MainForm->show();

    // Asked to end (logout, kill, Ctrl+C): a running scan is cancelled and
    // cleans up first; then the program quits, dialogs and all, and its
    // temporary files go.
    tabula::TTerminationSignals termination;
    QSocketNotifier notifier(termination.ReadDescriptor(), QSocketNotifier::Read);
    notifier.setEnabled(termination.ReadDescriptor() >= 0);
    int caught = 0;
    QObject::connect(&notifier, &QSocketNotifier::activated, tabula::MainForm, [&] {
        caught = termination.Take();
        tabula::MainForm->QuitAfterScan();
    });

    const int result = tabula::TApplication::exec();
    tabula::DestroyForms();
    // Ended by a signal: say so the way a shell expects.
    return caught != 0 ? 128 + caught : result;
}
