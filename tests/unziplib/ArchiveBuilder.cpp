#include "tests/unziplib/ArchiveBuilder.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include <fstream>

namespace tabula::test {

namespace {

void Put16(std::string& out, uint32_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void Put32(std::string& out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

} // namespace

std::string Deflate(const std::string& data) {
    std::string out(data.size() + data.size() / 2 + 1024, '\0');
    isal_zstream stream;
    isal_deflate_stateless_init(&stream);
    stream.next_in = reinterpret_cast<uint8_t*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uint32_t>(data.size());
    stream.next_out = reinterpret_cast<uint8_t*>(out.data());
    stream.avail_out = static_cast<uint32_t>(out.size());
    stream.end_of_stream = 1;
    stream.flush = NO_FLUSH;
    if (isal_deflate_stateless(&stream) != COMP_OK)
        return {};
    out.resize(stream.total_out);
    return out;
}

TArchiveBuilder::TMember& TArchiveBuilder::Add(std::string name, std::string data,
                                               uint16_t method) {
    TMember member;
    member.Name = std::move(name);
    member.Data = std::move(data);
    member.Method = method;
    members_.push_back(std::move(member));
    return members_.back();
}

std::string TArchiveBuilder::Build() const {
    std::string body;
    std::string directory;
    for (const TMember& member : members_) {
        std::string packed = member.Method == 8 ? Deflate(member.Data) : member.Data;
        for (size_t at : member.Flip)
            if (at < packed.size())
                packed[at] = static_cast<char>(packed[at] ^ 0x55);
        const uint32_t crc =
            member.StatedCrc >= 0
                ? static_cast<uint32_t>(member.StatedCrc)
                : crc32_gzip_refl(0, reinterpret_cast<const uint8_t*>(member.Data.data()),
                                  member.Data.size());
        const uint32_t size = member.StatedSize >= 0 ? static_cast<uint32_t>(member.StatedSize)
                                                     : static_cast<uint32_t>(member.Data.size());
        const auto offset = static_cast<uint32_t>(body.size());

        auto common = [&](std::string& out) {
            Put16(out, 20); // version needed
            Put16(out, member.Flags);
            Put16(out, member.Method);
            Put32(out, 0); // time and date
            Put32(out, crc);
            Put32(out, static_cast<uint32_t>(packed.size()));
            Put32(out, size);
            Put16(out, static_cast<uint32_t>(member.Name.size()));
            Put16(out, 0); // extra length
        };
        Put32(body, 0x04034b50);
        common(body);
        body += member.Name;
        body += packed;

        Put32(directory, 0x02014b50);
        Put16(directory, 0x031E); // made by: Unix, 3.0
        common(directory);
        Put16(directory, 0); // comment length
        Put16(directory, 0); // disk number
        Put16(directory, 0); // internal attributes
        Put32(directory, 0); // external attributes
        Put32(directory, offset);
        directory += member.Name;
    }
    std::string out = prefix_ + body + directory;
    Put32(out, 0x06054b50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<uint32_t>(members_.size()));
    Put16(out, static_cast<uint32_t>(members_.size()));
    Put32(out, static_cast<uint32_t>(directory.size()));
    Put32(out, static_cast<uint32_t>(body.size()));
    Put16(out, 0);
    return out;
}

bool TArchiveBuilder::WriteTo(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::string bytes = Build();
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

} // namespace tabula::test
