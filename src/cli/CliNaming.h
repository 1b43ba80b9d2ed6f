#pragma once

#include "core/reference/RowNaming.h"
#include "core/scan/ScanDriver.h"

#include <memory>
#include <string>
#include <vector>

namespace tabula {

// The names --names-from gives the rows as they come, and what it found.
class TCliNaming {
public:
    // Reads every reference datafile, in order; throws as ReadDatafile does.
    TCliNaming(const std::vector<std::string>& files, bool unknownOnly);

    // Names and marks the row; false when --unknown-only leaves it out.
    bool Name(TRomTable::TRow& row, TRowExtras& extras);
    // The line that says what matching found.
    std::string Summary() const { return MatchSummaryText(namer_->Counts()); }
    // --missing: the reference's sets nothing matched; throws as a save does.
    void WriteMissing(const std::string& fileName) const {
        WriteMissingSets(index_, namer_->MatchedSets(), fileName);
    }

private:
    TReferenceIndex index_;
    std::unique_ptr<TRowNamer> namer_;
    bool unknownOnly_;
};

// Names each row of a scan before it goes on.
class TNamingSink : public IRomRowSink {
public:
    TNamingSink(IRomRowSink& next, TCliNaming& naming) : next_(next), naming_(naming) {}
    void ListingStarted() override { next_.ListingStarted(); }
    void AddRomRow(const TRomTable::TRow& row) override { AddScannedRow(row, {}); }
    void AddScannedRow(const TRomTable::TRow& row, const TRowExtras& extras) override;

private:
    IRomRowSink& next_;
    TCliNaming& naming_;
};

} // namespace tabula
