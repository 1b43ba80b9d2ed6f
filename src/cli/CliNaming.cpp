#include "cli/CliNaming.h"

namespace tabula {

TCliNaming::TCliNaming(const std::vector<std::string>& files, bool unknownOnly)
    : unknownOnly_(unknownOnly) {
    for (const std::string& file : files) {
        index_.AddFile(file);
    }
    namer_ = std::make_unique<TRowNamer>(index_);
}

bool TCliNaming::Name(TRomTable::TRow& row, TRowExtras& extras) {
    const TMatchMark mark = namer_->Name(row, extras);
    return !unknownOnly_ || mark == TMatchMark::Unknown;
}

void TNamingSink::AddScannedRow(const TRomTable::TRow& row, const TRowExtras& extras) {
    TRomTable::TRow named = row;
    TRowExtras namedExtras = extras;
    if (naming_.Name(named, namedExtras)) {
        next_.AddScannedRow(named, namedExtras);
    }
}

} // namespace tabula
