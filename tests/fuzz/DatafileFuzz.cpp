// libFuzzer target: turns arbitrary bytes into rom table rows and credits and
// fills a datafile from them. Every size cell either converts or fails with
// its message; every fill either gives well-formed lines or fails with a
// datafile error, without a crash or undefined behaviour.

#include "core/datafile/Datafile.h"
#include "core/datafile/DatafileSave.h"
#include "core/datafile/SizeCell.h"
#include "core/romlist/RomTable.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Cells are separated by 0x01, rows by 0x02; the first five cells are the credits.
std::vector<std::vector<std::string>> Split(std::string_view bytes) {
    std::vector<std::vector<std::string>> rows(1);
    rows.back().emplace_back();
    for (const char c : bytes) {
        if (c == '\x02') {
            rows.emplace_back(1);
        } else if (c == '\x01') {
            rows.back().emplace_back();
        } else {
            rows.back().back().push_back(c);
        }
    }
    return rows;
}

void CheckSizeCell(const std::string& text) {
    try {
        const std::int32_t value = tabula::SizeCellToInt(text);
        // A converted cell holds digits, and a short plain decimal one says its value.
        if (text.find_first_of("0123456789abcdefABCDEF") == std::string::npos) {
            std::abort();
        }
        if (!text.empty() && text.size() < 10 &&
            text.find_first_not_of("0123456789") == std::string::npos && value != std::stoi(text)) {
            std::abort();
        }
    } catch (const tabula::EConvertError& error) {
        // what() ends at the first NUL the cell holds.
        const std::string expected = "'" + text + "' n'est pas une valeur enti\xC3\xA8re correcte";
        if (std::string(error.what()) != expected.c_str()) {
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto parts = Split(std::string_view(reinterpret_cast<const char*>(data), size));
    std::vector<tabula::TRomTable::TRow> rows;
    tabula::TDatafileCredits credits;
    const std::vector<std::string>& head = parts.front();
    std::string* const fields[] = {&credits.Author, &credits.Version, &credits.Comment,
                                   &credits.System, &credits.EmulVersion};
    for (size_t i = 0; i < std::size(fields) && i < head.size(); ++i) {
        *fields[i] = head[i];
    }
    for (size_t r = 1; r < parts.size(); ++r) {
        tabula::TRomTable::TRow row;
        for (size_t c = 0; c < row.size() && c < parts[r].size(); ++c) {
            row[c] = parts[r][c];
        }
        CheckSizeCell(row[6]);
        rows.push_back(row);
    }

    tabula::TDatafile datafile;
    try {
        tabula::FillDatafile(datafile, rows, credits);
    } catch (const tabula::EConvertError&) {
        return 0;
    } catch (const tabula::EDatafileError& error) {
        if (std::string_view(error.what()).empty()) {
            std::abort();
        }
        return 0;
    }
    // A filled datafile encodes, and each game line keeps its ten separators.
    for (const std::string& line : datafile.GameLines) {
        const std::string bytes = tabula::TDatafile::Encode({line});
        if (std::count(bytes.begin(), bytes.end(), tabula::TDatafile::Separator) != 10 ||
            std::count(bytes.begin(), bytes.end(), '\n') != 1) {
            std::abort();
        }
    }
    const std::vector<std::string> header = datafile.HeaderLines();
    (void)tabula::TDatafile::Encode(header);
    return 0;
}
