#pragma once

#include "core/datafile/DatafileFormat.h"

#include <memory>

namespace tabula {

// The ClrMamePro text format: a clrmamepro ( ... ) block of credits, then a
// game ( ... ) block per set, texts in quoted strings (a quote and a
// backslash escaped by a backslash), UTF-8, lines ended by LF. A quoted string cannot hold a line
// break: the comment's lines are joined with a blank, and a cell holding a
// control character is refused, naming the row.
std::unique_ptr<IDatafileWriter> MakeClrMameProWriter(const TDatafileInfo& info);

} // namespace tabula
