#include "core/datafile/Datafile.h"

#include "core/datafile/CharacterText.h"
#include "core/platform/AtomicFile.h"
#include "core/text/CodePages.h"

namespace tabula {

namespace {

// Appends text with each CR LF, lone CR or lone LF written as CR LF.
void AppendWithCrLf(std::string& out, const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            out += "\r\n";
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out.push_back(c);
        }
    }
}

} // namespace

void TDatafile::AddGame(const std::string& setDosName, const std::string& setFullName,
                        const std::string& cloneDosName, const std::string& cloneFullName,
                        const std::string& romName, const std::string& romCrc, bool firstFlag,
                        bool secondFlag, std::int32_t size) {
    GameLines.push_back(GameLine(setDosName, setFullName, cloneDosName, cloneFullName, romName,
                                 romCrc, firstFlag, secondFlag, size));
}

std::string TDatafile::GameLine(const std::string& setDosName, const std::string& setFullName,
                                const std::string& cloneDosName, const std::string& cloneFullName,
                                const std::string& romName, const std::string& romCrc,
                                bool firstFlag, bool secondFlag, std::int32_t size) {
    return GameLine(setDosName, setFullName, cloneDosName, cloneFullName, romName, romCrc,
                    std::string(firstFlag ? "O" : "N"), std::string(secondFlag ? "O" : "N"), size);
}

std::string TDatafile::GameLine(const std::string& setDosName, const std::string& setFullName,
                                const std::string& cloneDosName, const std::string& cloneFullName,
                                const std::string& romName, const std::string& romCrc,
                                const std::string& firstFlag, const std::string& secondFlag,
                                std::int32_t size) {
    std::string line;
    for (const std::string* field :
         {&setDosName, &setFullName, &cloneDosName, &cloneFullName, &romName, &romCrc}) {
        line += SeparatorUtf8;
        line += *field;
    }
    line += SeparatorUtf8;
    line += firstFlag;
    line += SeparatorUtf8;
    line += secondFlag;
    line += SeparatorUtf8;
    line += std::to_string(size);
    line += SeparatorUtf8;
    return line;
}

std::vector<std::string> TDatafile::HeaderLines() const {
    return {"[CREDITS]",
            "Author=" + Author,
            "Version=" + Version,
            "Comment=" + Comment,
            "[DAT]",
            "version=" + DatVersion,
            "[EMULATOR]",
            "refname=" + RefName,
            "version=" + EmulatorVersion,
            "exe=" + Exe,
            "runcmd=" + RunCmd,
            "romspaths=" + RomsPaths,
            "[GAMES]"};
}

std::string TDatafile::Encode(const std::vector<std::string>& lines) {
    std::string bytes;
    size_t fileLine = 1;
    for (const std::string& line : lines) {
        std::string text;
        AppendWithCrLf(text, line);
        text += "\r\n";
        std::string encoded;
        char32_t refused = 0;
        if (!Utf8ToWindows1252(text, encoded, &refused)) {
            throw EDatafileError("Line " + std::to_string(fileLine) + " of the datafile holds " +
                                 CharacterText(refused) +
                                 ", which the datafile's code page (Windows-1252) cannot hold");
        }
        for (const char c : encoded) {
            fileLine += c == '\n' ? 1 : 0;
        }
        bytes += encoded;
    }
    return bytes;
}

void TDatafile::WriteToFile(const std::string& fileName) {
    const std::vector<std::string> header = HeaderLines();
    GameLines.insert(GameLines.begin(), header.begin(), header.end());
    WriteFileAtomically(fileName, Encode(GameLines));
}

} // namespace tabula
