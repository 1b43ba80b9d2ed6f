#include "core/reference/RowNaming.h"

#include "core/datafile/DatafileRead.h"
#include "core/datafile/DatafileStream.h"
#include "core/romlist/KeptFields.h"
#include "core/text/BlankText.h"
#include "core/text/StringsTools.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace tabula {

std::string MatchSummaryText(const TMatchCounts& counts) {
    return std::to_string(counts.Matched) + " rows matched (" + std::to_string(counts.Renamed) +
           " renamed, " + std::to_string(counts.ByCrcOnly) + " by CRC only), " +
           std::to_string(counts.Unknown) + " unknown, " + std::to_string(counts.SetsMissing) +
           " sets of the reference missing";
}

TRowNamer::TRowNamer(const TReferenceIndex& index)
    : index_(index), matchedSets_(index.SetCount(), 0) {}

namespace {

// The rom name a save writes for the row: the name on disk while the cell is the scan's.
const std::string& WrittenRomName(const TRomTable::TRow& row, const TRowExtras& extras) {
    return !extras.ScannedRomCell.empty() && row[4] == extras.ScannedRomCell ? extras.NameOnDisk
                                                                             : row[4];
}

} // namespace

TMatchMark TRowNamer::Name(TRomTable::TRow& row, TRowExtras& extras) {
    if (TRomTable::IsBlankRow(row)) {
        return extras.Match;
    }
    const TReferenceIndex::TFound found = index_.Find(row, extras, &matchedSets_);
    if (found.Rom == TReferenceIndex::TFound::NoRom) {
        ++counts_.Unknown;
        return extras.Match = TMatchMark::Unknown;
    }
    ++counts_.Matched;
    counts_.ByCrcOnly += found.ByCrc ? 1 : 0;
    const std::string& setName = index_.SetName(found.Rom);
    const std::string& cloneOf =
        index_.CloneName(found.Rom).empty() ? setName : index_.CloneName(found.Rom);
    const std::string& romName = index_.RomName(found.Rom);
    std::string setDos = LowerCase(setName);
    std::string cloneDos = LowerCase(cloneOf);
    const bool same = row[0] == setDos && row[1] == setName && row[2] == cloneDos &&
                      row[3] == cloneOf && WrittenRomName(row, extras) == romName;
    if (!same) {
        ++counts_.Renamed;
        row[0] = std::move(setDos);
        row[1] = setName;
        row[2] = std::move(cloneDos);
        row[3] = cloneOf;
        row[4] = romName;
        extras.ScannedRomCell.clear(); // the cell is the name a save writes now
    }
    extras.Match = found.Ambiguous ? TMatchMark::Ambiguous
                   : same          ? TMatchMark::Same
                   : found.ByCrc   ? TMatchMark::ByCrc
                                   : TMatchMark::Renamed;
    return extras.Match;
}

TMatchCounts TRowNamer::Counts() const {
    TMatchCounts counts = counts_;
    counts.SetsMissing = 0;
    for (std::size_t set = 0; set < matchedSets_.size(); ++set) {
        counts.SetsMissing += index_.Findable(set) && matchedSets_[set] == 0 ? 1 : 0;
    }
    return counts;
}

TTableChange NamingChange(const TRomTable& table, TRowNamer& namer) {
    const auto rows = table.DataRows();
    const auto extras = table.DataExtras();
    std::vector<TRomTable::TRow> named;
    std::vector<TRowExtras> namedExtras;
    named.reserve(rows.size());
    namedExtras.reserve(rows.size());
    std::size_t first = rows.size();
    std::size_t last = 0;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        named.push_back(rows[r]);
        namedExtras.push_back(extras[r]);
        namer.Name(named.back(), namedExtras.back());
        if (named.back() != rows[r] || namedExtras.back().Match != extras[r].Match) {
            first = std::min(first, r);
            last = r;
        }
    }
    TTableChange change;
    if (first == rows.size()) {
        return change;
    }
    // Only the run of rows that changed moves.
    change.First = static_cast<int>(first) + 1;
    change.BeforeCount = last - first + 1;
    named.erase(named.begin() + static_cast<std::ptrdiff_t>(last + 1), named.end());
    named.erase(named.begin(), named.begin() + static_cast<std::ptrdiff_t>(first));
    namedExtras.erase(namedExtras.begin() + static_cast<std::ptrdiff_t>(last + 1),
                      namedExtras.end());
    namedExtras.erase(namedExtras.begin(),
                      namedExtras.begin() + static_cast<std::ptrdiff_t>(first));
    change.After = std::move(named);
    change.AfterExtras = std::move(namedExtras);
    change.AfterCount = change.After.size();
    return change;
}

namespace {

// The reference read again, its missing sets written as they come.
class TMissingContent : public IDatafileContent {
public:
    TMissingContent(const TReferenceIndex& index, const std::vector<std::uint8_t>& matched,
                    const std::string& fileName)
        : index_(index), matched_(matched), fileName_(fileName) {}

    void StartFile() { runs_ = TSetRuns(); }

    void Begin(TDatafileFormat format, const TDatafileCredits& credits,
               std::shared_ptr<const TKeptHeader> header) override {
        if (Stream) {
            return; // the first file's header and format
        }
        // The games without a rom after the last one are no want.
        std::shared_ptr<TKeptHeader> kept;
        if (header) {
            kept = std::make_shared<TKeptHeader>(*header);
            kept->GamesAfter.clear();
        }
        Stream = std::make_unique<TDatafileStream>(fileName_, format,
                                                   TDatafileInfo{credits, {}, std::move(kept)});
    }

    void Add(TRomTable::TRow row, TRowExtras extras) override {
        if (runs_.Starts(row, extras)) {
            ++set_;
            // More sets than the index holds: the file changed, which the
            // count of its sets tells once it is read.
            writing_ = set_ < index_.SetCount() && index_.Findable(set_) && matched_[set_] == 0;
            Written += writing_ ? 1 : 0;
        }
        if (!writing_) {
            return;
        }
        if (extras.Kept && !extras.Kept->GamesBefore.empty()) {
            auto kept = std::make_shared<TKeptRow>(*extras.Kept);
            kept->GamesBefore.clear();
            extras.Kept = std::move(kept);
        }
        Stream->Add(row, extras);
    }

    void End() override {}

    // The sets read so far.
    std::size_t SetsRead() const { return set_ + 1; }

    std::unique_ptr<TDatafileStream> Stream;
    std::size_t Written = 0;

private:
    const TReferenceIndex& index_;
    const std::vector<std::uint8_t>& matched_;
    const std::string& fileName_;
    TSetRuns runs_;
    std::size_t set_ = static_cast<std::size_t>(-1);
    bool writing_ = false;
};

} // namespace

std::size_t WriteMissingSets(const TReferenceIndex& index,
                             const std::vector<std::uint8_t>& matchedSets,
                             const std::string& fileName) {
    TMissingContent content(index, matchedSets, fileName);
    std::size_t sets = 0;
    for (const TReferenceIndex::TFile& file : index.Files()) {
        content.StartFile();
        ReadDatafile(file.Name, content);
        sets += file.Sets;
        if (content.SetsRead() != sets) {
            throw EDatafileReadError("\"" + file.Name + "\" changed since it was read", 0);
        }
    }
    if (!content.Stream) {
        throw std::logic_error("no reference datafile was read");
    }
    content.Stream->Finish();
    return content.Written;
}

} // namespace tabula
