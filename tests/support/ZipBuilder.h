#pragma once

#include "tests/support/ScratchDirectory.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tabula::test {

// A member of an archive built for a test; stored unless said otherwise.
struct TTestMember {
    TTestMember(std::string name, std::string data)
        : Name(std::move(name)), Data(std::move(data)) {}
    TTestMember& Host(uint16_t versionMadeBy) {
        VersionMadeBy = versionMadeBy;
        return *this;
    }
    TTestMember& WithFlags(uint16_t flags) {
        Flags = flags;
        return *this;
    }
    TTestMember& WithExtra(std::string extra) {
        Extra = std::move(extra);
        return *this;
    }
    TTestMember& WithComment(std::string comment) {
        Comment = std::move(comment);
        return *this;
    }
    // Data is already deflated; the member stands for size bytes of that CRC.
    TTestMember& Deflated(uint32_t size, uint32_t crc) {
        Method = 8;
        Size = size;
        Crc = crc;
        return *this;
    }

    std::string Name;
    std::string Data;
    uint16_t VersionMadeBy = 0x031E; // Unix, format 3.0
    uint16_t Flags = 0;
    std::string Extra;   // central extra field, as bytes
    std::string Comment; // member comment, as bytes
    uint16_t Method = 0;
    std::optional<uint32_t> Size; // uncompressed, when Data is not
    std::optional<uint32_t> Crc;
};

// An archive built in memory, with the positions a test needs to break one field.
struct TBuiltZip {
    std::string Bytes;
    size_t DirectoryOffset = 0;
    std::vector<size_t> CentralHeaders; // position of each central header
    size_t EndRecord = 0;
};

// Builds a well-formed single-volume archive of stored members.
TBuiltZip BuildZip(const std::vector<TTestMember>& members, const std::string& comment = "");

// Writes bytes to the file name in dir; returns its path.
std::string WriteTestFile(const TScratchDirectory& dir, const std::string& name,
                          const std::string& bytes);

uint32_t TestCrc32(const std::string& data);
// size bytes that repeat nowhere near (a ROM's stand-in), different per seed.
std::string PatternBytes(size_t size, char seed);
void PutU16(std::string& bytes, size_t at, uint16_t value);
void PutU32(std::string& bytes, size_t at, uint32_t value);
void AppendU16(std::string& bytes, uint16_t value);
void AppendU32(std::string& bytes, uint32_t value);
void AppendU64(std::string& bytes, uint64_t value);

} // namespace tabula::test
