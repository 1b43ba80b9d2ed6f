#include "core/datafile/DatafileFormat.h"

#include "core/datafile/ClrMameProWriter.h"
#include "core/datafile/Datafile.h"
#include "core/datafile/DatafileVocabulary.h"
#include "core/datafile/LogiqxWriter.h"

namespace tabula {

namespace {

// The sectioned datafile of TDatafile, a line at a time.
class TSectionedWriter : public IDatafileWriter {
public:
    explicit TSectionedWriter(const TDatafileInfo& info) : info_(info) {}

    std::string Begin() override {
        TDatafile header;
        FillDatafile(header, {}, info_.Credits);
        if (const TKeptHeader* kept = info_.Kept.get()) {
            header.DatVersion = kept->DatVersion;
            header.Exe = kept->Exe;
            header.RunCmd = kept->RunCmd;
            header.RomsPaths = kept->RomsPaths;
            CountDroppedHeader(kept->Element, kept->Origin, dropped_);
        }
        return TDatafile::Encode(header.HeaderLines());
    }

    std::string Add(const TRomTable::TRow& row, const TRowExtras& extras,
                    size_t rowIndex) override {
        const std::optional<std::string> line = DatafileGameLine(row, rowIndex, extras.Kept.get());
        if (!line) {
            return {};
        }
        for (const auto& [digest, name] : {std::pair{&extras.Md5, "MD5"},
                                           {&extras.Sha1, "SHA-1"},
                                           {&extras.Sha256, "SHA-256"}}) {
            dropped_[name] += digest->empty() ? 0 : 1;
        }
        if (const TKeptRow* kept = extras.Kept.get()) {
            for (const TKeptGame& item : kept->GamesBefore) {
                CountDroppedGame(item, dropped_);
            }
            if (kept->Game != nullptr) {
                CountDroppedGame(*kept->Game, dropped_);
            }
            if (!kept->Rom.Name.empty()) {
                CountDroppedRom(kept->Rom, kept->RomOrigin, dropped_);
            }
        }
        return TDatafile::Encode({*line});
    }

    std::string End() override {
        if (const TKeptHeader* kept = info_.Kept.get()) {
            for (const TKeptGame& item : kept->GamesAfter) {
                CountDroppedGame(item, dropped_);
            }
        }
        return {};
    }

    TDroppedNames Dropped() const override {
        TDroppedNames dropped = dropped_;
        std::erase_if(dropped, [](const auto& entry) { return entry.second == 0; });
        return dropped;
    }

private:
    TDatafileInfo info_;
    TDroppedNames dropped_;
};

} // namespace

std::unique_ptr<IDatafileWriter> MakeDatafileWriter(TDatafileFormat format,
                                                    const TDatafileInfo& info) {
    switch (format) {
    case TDatafileFormat::Logiqx:
        return MakeLogiqxWriter(info);
    case TDatafileFormat::ClrMamePro:
        return MakeClrMameProWriter(info);
    case TDatafileFormat::Sectioned:
        break;
    }
    return std::make_unique<TSectionedWriter>(info);
}

std::optional<TDatafileFormat> DatafileFormatNamed(const std::string& name) {
    if (name == "sectioned") {
        return TDatafileFormat::Sectioned;
    }
    if (name == "logiqx") {
        return TDatafileFormat::Logiqx;
    }
    if (name == "clrmamepro") {
        return TDatafileFormat::ClrMamePro;
    }
    return std::nullopt;
}

const char* DatafileFormatTitle(TDatafileFormat format) {
    switch (format) {
    case TDatafileFormat::Logiqx:
        return "Logiqx";
    case TDatafileFormat::ClrMamePro:
        return "ClrMamePro";
    case TDatafileFormat::Sectioned:
        break;
    }
    return "sectioned";
}

std::string HeaderDetectorName(const TDatafileInfo& info) {
    // Two scans in different modes can fill one table: only what the rows
    // say of their cuts is true of them all.
    return info.Detector;
}

void AddRomlessGameNames(TGameNames& games, const std::vector<TKeptGame>& kept) {
    for (const TKeptGame& game : kept) {
        if (const std::string* name = KeptGameName(game)) {
            games.insert(*name);
        }
    }
}

void AddGameNames(TGameNames& games, const TRomTable::TRow& row, const TRowExtras* extras) {
    if (!TRomTable::IsBlankRow(row)) {
        games.insert(row[1]);
    }
    if (extras != nullptr && extras->Kept != nullptr) {
        AddRomlessGameNames(games, extras->Kept->GamesBefore);
    }
}

TGameNames GameNamesOf(std::span<const TRomTable::TRow> rows, std::span<const TRowExtras> extras,
                       const TKeptHeader* header) {
    TGameNames games;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        AddGameNames(games, rows[r], r < extras.size() ? &extras[r] : nullptr);
    }
    if (header != nullptr) {
        AddRomlessGameNames(games, header->GamesAfter);
    }
    return games;
}

std::string CommonDetector(std::span<const TRowExtras> extras) {
    std::string common;
    for (const TRowExtras& row : extras) {
        if (row.Detector.empty()) {
            continue; // kept whole: no cut to name
        }
        if (!common.empty() && row.Detector != common) {
            return {};
        }
        common = row.Detector;
    }
    return common;
}

} // namespace tabula
