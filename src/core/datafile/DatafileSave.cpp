#include "core/datafile/DatafileSave.h"

#include "core/datafile/CharacterText.h"
#include "core/datafile/Datafile.h"
#include "core/datafile/GameRom.h"
#include "core/datafile/SizeCell.h"
#include "core/romlist/KeptFields.h"
#include "core/text/CodePages.h"

#include <algorithm>
#include <optional>
#include <string_view>

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

std::string CreditName(const char* label, bool sentenceStart = true) {
    return std::string(sentenceStart ? "The" : "the") + " credit \"" + label + "\"";
}

bool IsControl(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
}

// The first control character of text (C0, DEL or C1), if any.
std::optional<char32_t> FirstControl(std::string_view text) {
    for (size_t pos = 0; pos < text.size();) {
        if (const char32_t cp = NextCodePoint(text, pos); IsControl(cp)) {
            return cp;
        }
    }
    return std::nullopt;
}

std::string ControlRefusal(const std::string& where, char32_t cp) {
    return where + " holds " + CharacterText(cp) + ", a control character";
}

// A credit is written after its key on a line of its own: a line break or
// a control character in it would let it write lines of its own, or bytes
// a terminal acts on.
void CheckSingleLineCredit(const std::string& text, const char* label) {
    if (text.find_first_of("\r\n") != std::string::npos) {
        throw EDatafileError(CreditName(label) + " holds a line break; it is written on one line");
    }
    if (text.find(TDatafile::SeparatorUtf8) != std::string::npos) {
        throw EDatafileError(CreditName(label) +
                             " holds the separator \"\xC2\xAC\" of the datafile's game lines");
    }
    if (const auto cp = FirstControl(text)) {
        throw EDatafileError(ControlRefusal(CreditName(label), *cp));
    }
}

// The comment's later lines stand alone in the file, so none may read as a
// section header or a game line.
void CheckComment(const std::string& text, const char* label) {
    size_t number = 1;
    for (size_t start = 0; start <= text.size(); ++number) {
        const size_t end = std::min(text.find_first_of("\r\n", start), text.size());
        const std::string_view line = std::string_view(text).substr(start, end - start);
        const std::string where =
            "Line " + std::to_string(number) + " of " + CreditName(label, false);
        const size_t first = line.find_first_not_of(' ');
        const std::string_view shown = first == std::string_view::npos ? "" : line.substr(first);
        if (number > 1 && shown.starts_with('[')) {
            throw EDatafileError(where + " starts with \"[\", which would read as a section of "
                                         "the datafile");
        }
        if (number > 1 && shown.starts_with(TDatafile::SeparatorUtf8)) {
            throw EDatafileError(where + " starts with the separator \"\xC2\xAC\", which would "
                                         "read as a game line");
        }
        if (const auto cp = FirstControl(line)) {
            throw EDatafileError(ControlRefusal(where, *cp));
        }
        // CR LF is one line break.
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
}

void CheckCredit(const std::string& text, const char* label, bool multiLine = false) {
    if (multiLine) {
        CheckComment(text, label);
    } else {
        CheckSingleLineCredit(text, label);
    }
    if (std::string refusal = EncodingRefusal(text, CreditName(label)); !refusal.empty()) {
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

void CheckDatafileCredits(const TDatafileCredits& credits) {
    CheckCredit(credits.Author, "Author");
    CheckCredit(credits.Version, "Datafile Version");
    CheckCredit(credits.Comment, "Comment", true);
    CheckCredit(credits.System, "System");
    CheckCredit(credits.EmulVersion, "Emulator version");
}

std::optional<std::string> DatafileGameLine(const TRomTable::TRow& row, size_t rowIndex,
                                            const TKeptRow* kept) {
    if (IsBlankRow(row)) {
        return std::nullopt;
    }
    for (int col = 0; col < SizeColumn; ++col) {
        CheckGameField(row[static_cast<size_t>(col)], rowIndex, col);
    }
    const std::int32_t size = SizeOf(row, rowIndex);
    // The cell is written as it stands, but only a CRC (or a blank) is one.
    CheckedCrcCell(row, rowIndex);
    if (kept != nullptr) {
        return TDatafile::GameLine(row[0], row[1], row[2], row[3], row[4], row[5], kept->FirstFlag,
                                   kept->SecondFlag, size);
    }
    return TDatafile::GameLine(row[0], row[1], row[2], row[3], row[4], row[5], false, true, size);
}

void FillDatafile(TDatafile& writer, std::span<const TRomTable::TRow> rows,
                  const TDatafileCredits& credits) {
    CheckDatafileCredits(credits);
    writer.Version = credits.Version;
    writer.Comment = credits.Comment;
    writer.Author = credits.Author;
    writer.RefName = credits.System;
    writer.EmulatorVersion = credits.EmulVersion;
    for (size_t r = 0; r < rows.size(); ++r) {
        if (std::optional<std::string> line = DatafileGameLine(rows[r], r)) {
            writer.GameLines.push_back(std::move(*line));
        }
    }
}

void SaveDatafile(std::span<const TRomTable::TRow> rows, const TDatafileCredits& credits,
                  const std::string& fileName) {
    TDatafile writer;
    FillDatafile(writer, rows, credits);
    writer.WriteToFile(fileName);
}

} // namespace tabula
