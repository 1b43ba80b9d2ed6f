#pragma once

#include "core/datafile/DatafileFormat.h"

#include <memory>

namespace tabula {

// Logiqx XML, valid against revision 1.5 of its DTD, through libxml2's
// writer: UTF-8, every text escaped. A character XML 1.0 cannot hold (a C0
// control other than tab, line feed and carriage return) is refused, naming
// the row or the credit.
std::unique_ptr<IDatafileWriter> MakeLogiqxWriter(const TDatafileInfo& info);

} // namespace tabula
