#include "core/datafile/GameRom.h"

#include "core/datafile/CharacterText.h"
#include "core/datafile/Datafile.h"
#include "core/datafile/SizeCell.h"
#include "core/text/CodePages.h"
#include "core/text/ErrorText.h"
#include "core/text/HexDigit.h"
#include "core/text/StringsTools.h"

#include <algorithm>

namespace tabula {

namespace {

constexpr int SetFullName = 1;
constexpr int CloneFullName = 3;
constexpr int RomName = 4;
constexpr int RomCrc = 5;
constexpr int RomSize = 6;

std::string CellName(size_t rowIndex, int col) {
    return "Row " + std::to_string(rowIndex + 1) + ", column \"" +
           TRomTable::Titles[static_cast<size_t>(col)] + "\"";
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace

std::optional<char32_t> RefusedCharacter(const std::string& text, bool (*refuses)(char32_t)) {
    for (size_t pos = 0; pos < text.size();) {
        // Printable ASCII, most of every name, is asked about no further.
        const auto byte = static_cast<unsigned char>(text[pos]);
        if (byte >= 0x20 && byte < 0x7F) {
            ++pos;
            continue;
        }
        if (const char32_t cp = NextCodePoint(text, pos); refuses(cp)) {
            return cp;
        }
    }
    return std::nullopt;
}

std::string CheckedCrcCell(const TRomTable::TRow& row, size_t rowIndex) {
    std::string crc = Trimmed(row[RomCrc]);
    if (!crc.empty() && (crc.size() != 8 || !std::all_of(crc.begin(), crc.end(), [](char c) {
                             return HexDigitValue(c) >= 0;
                         }))) {
        throw TAtCell<EDatafileError>(CellName(rowIndex, RomCrc) + " holds " +
                                          QuotedForMessage(row[RomCrc]) +
                                          ", which is not eight hexadecimal digits",
                                      {rowIndex, RomCrc});
    }
    return crc;
}

std::optional<TGameRom> GameRomOf(const TRomTable::TRow& row, const TRowExtras& extras,
                                  size_t rowIndex, bool (*refuses)(char32_t), const char* reason,
                                  bool upperHex) {
    if (std::all_of(row.begin(), row.end(), [](const std::string& cell) { return cell.empty(); })) {
        return std::nullopt;
    }
    const auto fail = [&](int col, const std::string& what) {
        throw TAtCell<EDatafileError>(CellName(rowIndex, col) + " holds " + what, {rowIndex, col});
    };
    for (const int col : {SetFullName, CloneFullName, RomName}) {
        if (const auto cp = RefusedCharacter(row[static_cast<size_t>(col)], refuses)) {
            fail(col, CharacterText(*cp) + ", " + reason);
        }
    }
    TGameRom rom;
    rom.Game = row[SetFullName];
    rom.CloneOf = row[CloneFullName] != rom.Game ? row[CloneFullName] : std::string();
    const bool scanned = !extras.NameOnDisk.empty() && row[RomName] == extras.ScannedRomCell;
    rom.Name = scanned ? extras.NameOnDisk : row[RomName];
    if (const auto cp = RefusedCharacter(rom.Name, refuses)) {
        fail(RomName, CharacterText(*cp) + " in the name on disk, " + reason);
    }
    try {
        if (!row[RomSize].empty()) {
            rom.Size = SizeCellToByteCount(row[RomSize]);
        }
    } catch (const EConvertError& error) {
        throw TAtCell<EConvertError>(error.what(), {rowIndex, RomSize});
    }
    rom.Crc = CheckedCrcCell(row, rowIndex);
    rom.Md5 = extras.Md5;
    rom.Sha1 = extras.Sha1;
    rom.Sha256 = extras.Sha256;
    for (std::string* digits : {&rom.Crc, &rom.Md5, &rom.Sha1, &rom.Sha256}) {
        for (char& c : *digits) { // hexadecimal digits: ASCII
            if (upperHex && c >= 'a' && c <= 'f') {
                c = static_cast<char>(c - 'a' + 'A');
            } else if (!upperHex && c >= 'A' && c <= 'F') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
    }
    return rom;
}

bool LeaveOutLostClone(TGameRom& rom, const TGameNames* games) {
    if (games == nullptr || rom.CloneOf.empty() || games->contains(rom.CloneOf)) {
        return false;
    }
    rom.CloneOf.clear();
    return true;
}

std::string DatafileHeaderName(const TDatafileInfo& info) {
    if (!info.Credits.System.empty()) {
        return info.Credits.System;
    }
    return info.FolderName.empty() ? std::string("tabula") : info.FolderName;
}

} // namespace tabula
