#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tabula::test {

// Builds small zip archives in memory, with hooks to make a member lie about
// itself, so each test can break exactly one field.
class TArchiveBuilder {
public:
    struct TMember {
        std::string Name;
        std::string Data;
        uint16_t Method = 8; // 0 stored, 8 deflated
        uint16_t Flags = 0;
        // Values written to the directory in place of the true ones when set.
        int64_t StatedCrc = -1;
        int64_t StatedSize = -1;
        // Bytes of the compressed data to flip (offset from the data's start).
        std::vector<size_t> Flip;
    };

    TMember& Add(std::string name, std::string data, uint16_t method = 8);
    // Bytes written in front of the archive without shifting the offsets.
    void Prefix(std::string bytes) { prefix_ = std::move(bytes); }

    std::string Build() const;
    // Writes the archive to path; false on failure.
    bool WriteTo(const std::string& path) const;

private:
    std::vector<TMember> members_;
    std::string prefix_;
};

// Deflates data (raw deflate, no wrapper).
std::string Deflate(const std::string& data);

} // namespace tabula::test
