#pragma once

namespace tabula {

class TMainForm;
class TScanDialog;
class TPropertyDialog;

// The three forms of the program, created at start-up in this order and
// living until it ends.
extern TMainForm* MainForm;
extern TScanDialog* ScanDialog;
extern TPropertyDialog* PropertyDialog;

// Creates the three forms in order; the caller owns them through the globals.
void CreateForms();
void DestroyForms();

} // namespace tabula
