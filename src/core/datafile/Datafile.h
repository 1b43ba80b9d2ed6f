#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace tabula {

// Datafile content that its code page cannot carry.
class EDatafileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Builds a datafile: a header of credits in sections "[CREDITS]", "[DAT]",
// "[EMULATOR]" and "[GAMES]", then one game line per rom. Texts are UTF-8
// here and written in Windows-1252, the format's code page.
class TDatafile {
public:
    // The byte that precedes every field of a game line, and its UTF-8 form.
    static constexpr char Separator = '\xAC';
    static constexpr const char* SeparatorUtf8 = "\xC2\xAC";

    std::vector<std::string> GameLines; // in the order added; the header joins them when written
    std::string Version;
    std::string RefName;
    std::string EmulatorVersion;
    std::string Exe;
    std::string RunCmd;
    std::string RomsPaths;
    std::string Comment;
    std::string Author;
    // Written after the "version=" of "[DAT]"; a datafile read back keeps its own.
    std::string DatVersion = "1.90";

    // Appends one game line: the nine fields (the six texts, "O" or "N" for
    // each flag, the size in decimal) each preceded by the separator, and one
    // more separator at the end. No value is checked.
    void AddGame(const std::string& setDosName, const std::string& setFullName,
                 const std::string& cloneDosName, const std::string& cloneFullName,
                 const std::string& romName, const std::string& romCrc, bool firstFlag,
                 bool secondFlag, std::int32_t size);

    // The game line AddGame appends.
    static std::string GameLine(const std::string& setDosName, const std::string& setFullName,
                                const std::string& cloneDosName, const std::string& cloneFullName,
                                const std::string& romName, const std::string& romCrc,
                                bool firstFlag, bool secondFlag, std::int32_t size);
    // The same with the flag fields as texts, as a datafile read back holds them.
    static std::string GameLine(const std::string& setDosName, const std::string& setFullName,
                                const std::string& cloneDosName, const std::string& cloneFullName,
                                const std::string& romName, const std::string& romCrc,
                                const std::string& firstFlag, const std::string& secondFlag,
                                std::int32_t size);

    // The thirteen header lines for the current credits.
    std::vector<std::string> HeaderLines() const;

    // Puts the header in front of the game lines and writes them all as
    // Windows-1252, every line ended by CR LF; a line break inside a value (the
    // comment's) ends a line of its own. The file is replaced only when every
    // byte is on the disk. Throws EDatafileError for a character the code page
    // cannot hold (nothing is written), EFileCreateError or EFileWriteError
    // when the system refuses (the file is left as it was). Write once.
    void WriteToFile(const std::string& fileName);

    // The bytes WriteToFile writes for lines.
    static std::string Encode(const std::vector<std::string>& lines);
};

} // namespace tabula
