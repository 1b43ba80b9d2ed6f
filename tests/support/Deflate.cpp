#include "tests/support/Deflate.h"

#include <isa-l/igzip_lib.h>

#include <stdexcept>

namespace tabula::test {

std::string Deflated(const std::string& data) {
    isal_zstream stream;
    isal_deflate_stateless_init(&stream);
    std::string out(data.size() + 1024, '\0');
    stream.next_in = reinterpret_cast<uint8_t*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uint32_t>(data.size());
    stream.next_out = reinterpret_cast<uint8_t*>(out.data());
    stream.avail_out = static_cast<uint32_t>(out.size());
    stream.end_of_stream = 1;
    if (isal_deflate_stateless(&stream) != COMP_OK) {
        throw std::runtime_error("deflate failed");
    }
    out.resize(stream.total_out);
    return out;
}

} // namespace tabula::test
