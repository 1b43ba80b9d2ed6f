#include "tests/support/ZipBuilder.h"

namespace tabula::test {

std::string WriteTestFile(const TScratchDirectory& dir, const std::string& name,
                          const std::string& bytes) {
    const std::string path = dir.File(name);
    WriteBytes(path, bytes);
    return path;
}

uint32_t TestCrc32(const std::string& data) {
    uint32_t crc = 0xFFFFFFFFu;
    for (const char c : data) {
        crc ^= static_cast<uint8_t>(c);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

std::string PatternBytes(size_t size, char seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(seed + i * 31 + (i >> 9));
    }
    return bytes;
}

void PutU16(std::string& bytes, size_t at, uint16_t value) {
    bytes.at(at) = static_cast<char>(value & 0xFF);
    bytes.at(at + 1) = static_cast<char>(value >> 8);
}

void PutU32(std::string& bytes, size_t at, uint32_t value) {
    PutU16(bytes, at, static_cast<uint16_t>(value & 0xFFFF));
    PutU16(bytes, at + 2, static_cast<uint16_t>(value >> 16));
}

void AppendU16(std::string& bytes, uint16_t value) {
    bytes.push_back(static_cast<char>(value & 0xFF));
    bytes.push_back(static_cast<char>(value >> 8));
}

void AppendU32(std::string& bytes, uint32_t value) {
    AppendU16(bytes, static_cast<uint16_t>(value & 0xFFFF));
    AppendU16(bytes, static_cast<uint16_t>(value >> 16));
}

void AppendU64(std::string& bytes, uint64_t value) {
    AppendU32(bytes, static_cast<uint32_t>(value & 0xFFFFFFFFu));
    AppendU32(bytes, static_cast<uint32_t>(value >> 32));
}

TBuiltZip BuildZip(const std::vector<TTestMember>& members, const std::string& comment) {
    TBuiltZip zip;
    std::string& out = zip.Bytes;
    std::vector<uint32_t> localOffsets;
    for (const TTestMember& m : members) {
        localOffsets.push_back(static_cast<uint32_t>(out.size()));
        AppendU32(out, 0x04034b50);
        AppendU16(out, 10);
        AppendU16(out, m.Flags);
        AppendU16(out, m.Method);
        AppendU16(out, 0x6000);
        AppendU16(out, 0x5A21);
        AppendU32(out, m.Crc.value_or(TestCrc32(m.Data)));
        AppendU32(out, static_cast<uint32_t>(m.Data.size()));
        AppendU32(out, m.Size.value_or(static_cast<uint32_t>(m.Data.size())));
        AppendU16(out, static_cast<uint16_t>(m.Name.size()));
        AppendU16(out, 0);
        out += m.Name;
        out += m.Data;
    }
    zip.DirectoryOffset = out.size();
    for (size_t i = 0; i < members.size(); ++i) {
        const TTestMember& m = members[i];
        zip.CentralHeaders.push_back(out.size());
        AppendU32(out, 0x02014b50);
        AppendU16(out, m.VersionMadeBy);
        AppendU16(out, 10);
        AppendU16(out, m.Flags);
        AppendU16(out, m.Method);
        AppendU16(out, 0x6000);
        AppendU16(out, 0x5A21);
        AppendU32(out, m.Crc.value_or(TestCrc32(m.Data)));
        AppendU32(out, static_cast<uint32_t>(m.Data.size()));
        AppendU32(out, m.Size.value_or(static_cast<uint32_t>(m.Data.size())));
        AppendU16(out, static_cast<uint16_t>(m.Name.size()));
        AppendU16(out, static_cast<uint16_t>(m.Extra.size()));
        AppendU16(out, static_cast<uint16_t>(m.Comment.size()));
        AppendU16(out, 0);
        AppendU16(out, 0);
        AppendU32(out, 0x81A40000u);
        AppendU32(out, localOffsets[i]);
        out += m.Name;
        out += m.Extra;
        out += m.Comment;
    }
    zip.EndRecord = out.size();
    AppendU32(out, 0x06054b50);
    AppendU16(out, 0);
    AppendU16(out, 0);
    AppendU16(out, static_cast<uint16_t>(members.size()));
    AppendU16(out, static_cast<uint16_t>(members.size()));
    AppendU32(out, static_cast<uint32_t>(zip.EndRecord - zip.DirectoryOffset));
    AppendU32(out, static_cast<uint32_t>(zip.DirectoryOffset));
    AppendU16(out, static_cast<uint16_t>(comment.size()));
    out += comment;
    return zip;
}

} // namespace tabula::test
