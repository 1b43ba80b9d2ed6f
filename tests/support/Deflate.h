#pragma once

#include <string>

namespace tabula::test {

// data as a raw deflate stream (ISA-L), for members built by tests.
std::string Deflated(const std::string& data);

} // namespace tabula::test
