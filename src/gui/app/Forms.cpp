#include "gui/app/Forms.h"

#include "gui/app/MainForm.h"
#include "gui/datafile/PropertyDialog.h"
#include "gui/scan/ScanDialog.h"

namespace tabula {

TMainForm* MainForm = nullptr;
TScanDialog* ScanDialog = nullptr;
TPropertyDialog* PropertyDialog = nullptr;

void CreateForms() {
    MainForm = new TMainForm();
    ScanDialog = new TScanDialog(MainForm);
    PropertyDialog = new TPropertyDialog(MainForm);
    MainForm->SetDialogs(ScanDialog, PropertyDialog);
}

void DestroyForms() {
    delete MainForm; // the dialogs are its children
    MainForm = nullptr;
    ScanDialog = nullptr;
    PropertyDialog = nullptr;
}

} // namespace tabula
