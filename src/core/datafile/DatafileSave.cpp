#include "core/datafile/DatafileSave.h"

#include "core/datafile/CharacterText.h"
#include "core/datafile/Datafile.h"
#include "core/datafile/SizeCell.h"
#include "core/text/CodePages.h"

#include <algorithm>

namespace tabula {

namespace {

constexpr int SizeColumn = 6;

const char* const CodePageRefusal = ", which the datafile's code page (Windows-1252) cannot hold";

std::string CellName(size_t rowIndex, int col) {
    return "Row " + std::to_string(rowIndex + 1) + ", column \"" +
           TRomTable::Titles[static_cast<size_t>(col)] + "\"";
}

// The message of a text the code page cannot hold, or "" when it can.
std::string EncodingRefusal(const std::string& text, const std::string& where) {
    std::string ignored;
    char32_t refused = 0;
    if (Utf8ToWindows1252(text, ignored, &refused)) {
        return {};
    }
    return where + " holds " + CharacterText(refused) + CodePageRefusal;
}

void CheckCredit(const std::string& text, const char* label) {
    if (std::string refusal = EncodingRefusal(text, std::string("The credit \"") + label + "\"");
        !refusal.empty()) {
        throw EDatafileError(refusal);
    }
}

// A game field is written between separators on one line, so it may hold
// neither the separator nor a line break.
void CheckGameField(const std::string& cell, size_t rowIndex, int col) {
    const auto fail = [&](const std::string& message) {
        throw TAtCell<EDatafileError>(message, {rowIndex, col});
    };
    if (cell.find(TDatafile::SeparatorUtf8) != std::string::npos) {
        fail(CellName(rowIndex, col) +
             " holds the separator \"\xC2\xAC\" of the datafile's game lines");
    }
    if (cell.find_first_of("\r\n") != std::string::npos) {
        fail(CellName(rowIndex, col) + " holds a line break, which would split its game line");
    }
    if (std::string refusal = EncodingRefusal(cell, CellName(rowIndex, col)); !refusal.empty()) {
        fail(refusal);
    }
}

std::int32_t SizeOf(const TRomTable::TRow& row, size_t rowIndex) {
    try {
        return SizeCellToInt(row[SizeColumn]);
    } catch (const EConvertError& error) {
        throw TAtCell<EConvertError>(error.what(), {rowIndex, SizeColumn});
    }
}

bool IsBlankRow(const TRomTable::TRow& row) {
    return std::all_of(row.begin(), row.end(),
                       [](const std::string& cell) { return cell.empty(); });
}

} // namespace

void FillDatafile(TDatafile& writer, std::span<const TRomTable::TRow> rows,
                  const TDatafileCredits& credits) {
    CheckCredit(credits.Author, "Author");
    CheckCredit(credits.Version, "Datafile Version");
    CheckCredit(credits.Comment, "Comment");
    CheckCredit(credits.System, "System");
    CheckCredit(credits.EmulVersion, "Emulator version");
    writer.Version = credits.Version;
    writer.Comment = credits.Comment;
    writer.Author = credits.Author;
    writer.RefName = credits.System;
    writer.EmulatorVersion = credits.EmulVersion;

    for (size_t r = 0; r < rows.size(); ++r) {
        const TRomTable::TRow& row = rows[r];
        if (IsBlankRow(row)) {
            continue;
        }
        for (int col = 0; col < SizeColumn; ++col) {
            CheckGameField(row[static_cast<size_t>(col)], r, col);
        }
        const std::int32_t size = SizeOf(row, r);
        writer.AddGame(row[0], row[1], row[2], row[3], row[4], row[5], false, true, size);
    }
}

void SaveDatafile(std::span<const TRomTable::TRow> rows, const TDatafileCredits& credits,
                  const std::string& fileName) {
    TDatafile writer;
    FillDatafile(writer, rows, credits);
    writer.WriteToFile(fileName);
}

} // namespace tabula
