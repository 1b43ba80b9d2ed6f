#pragma once

#include "core/datafile/DatafileFormat.h"

#include <QString>
#include <QStringList>

class QWidget;

namespace tabula {

// The chooser's file types, in the order it offers them: the sectioned
// datafile first (chosen by default), then Logiqx XML and ClrMamePro.
QStringList SaveFileTypes();
// The format a file type of SaveFileTypes stands for.
TDatafileFormat SaveFileTypeFormat(const QString& type);

// The format of a name typed in the save chooser: the one type whose
// pattern its suffix matches (".xml": Logiqx XML), else chosen (".dat",
// which two types share, keeps it).
TDatafileFormat FormatOfTypedName(const QString& fileName, TDatafileFormat chosen);

// The save chooser of "Save as": no title, no initial directory, the file
// types above with format's chosen, default suffix "dat" ("xml" for Logiqx
// XML; added to a name typed without one), proposing proposedName; the
// command itself asks before an existing file is replaced. Returns the chosen name, with
// the chosen type's format in format, or an empty text when the user
// cancels.
QString ShowSaveDialog(QWidget* parent, const QString& proposedName, TDatafileFormat& format);

// The types the open choosers offer: "Datafiles (*.dat *.xml)" first, so
// no datafile is hidden at first, then the types above and all files.
QStringList OpenFileTypes();

// The chooser of "Open datafile": the types of OpenFileTypes, the first
// chosen, starting at proposedName (its folder, or the working folder).
// Returns the chosen file, or an empty text when the user cancels. The
// file's content, not the type, tells its format.
QString ShowOpenDialog(QWidget* parent, const QString& proposedName);

// The chooser of "Name from datafile": one or more existing files, of the
// types of OpenFileTypes, starting at proposedName. Returns the chosen files, none when the user
// cancels.
QStringList ShowReferenceDialog(QWidget* parent, const QString& proposedName);

} // namespace tabula
