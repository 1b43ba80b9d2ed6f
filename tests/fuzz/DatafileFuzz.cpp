// libFuzzer target: turns arbitrary bytes into rom table rows and credits and
// fills a datafile from them. Every size cell either converts or fails with
// its message; every fill either gives well-formed lines or fails with a
// datafile error, without a crash or undefined behaviour.

#include "core/datafile/Datafile.h"
#include "core/datafile/DatafileSave.h"
#include "core/datafile/SizeCell.h"
#include "core/romlist/RomTable.h"
#include "core/text/CodePages.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
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

// Accepted credits write no line of their own: the header holds its four
// sections and nothing that reads as another section or a game line, every
// line ends with CR LF, no other control byte is in it, and each one-line
// credit stands whole after its key.
void CheckHeader(const std::string& bytes, const tabula::TDatafileCredits& credits) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < bytes.size();) {
        const size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            std::abort(); // the last line has no CR LF
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    std::vector<std::string> sections;
    for (const std::string& line : lines) {
        if (std::any_of(line.begin(), line.end(), [](char c) {
                return static_cast<unsigned char>(c) < 0x20 || c == '\x7F';
            })) {
            std::abort();
        }
        const size_t first = line.find_first_not_of(' ');
        if (first != std::string::npos && line[first] == tabula::TDatafile::Separator) {
            std::abort();
        }
        if (first != std::string::npos && line[first] == '[') {
            sections.push_back(line);
        }
    }
    const std::vector<std::string> expected = {"[CREDITS]", "[DAT]", "[EMULATOR]", "[GAMES]"};
    if (sections != expected || lines.size() < 13) {
        std::abort();
    }
    const size_t comment = lines.size() - 13; // the comment's later lines
    const std::pair<size_t, const std::string*> oneLine[] = {{1, &credits.Author},
                                                             {2, &credits.Version},
                                                             {7 + comment, &credits.System},
                                                             {8 + comment, &credits.EmulVersion}};
    for (const auto& [index, credit] : oneLine) {
        std::string encoded;
        if (!tabula::Utf8ToWindows1252(*credit, encoded) ||
            lines[index].substr(lines[index].find('=') + 1) != encoded) {
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
    CheckHeader(tabula::TDatafile::Encode(datafile.HeaderLines()), credits);
    return 0;
}
