#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tabula {

// The libraries the core loads, each with the version it reports of itself
// ("not found" for one that cannot be loaded), for the program's About box.
std::vector<std::pair<std::string, std::string>> LibraryVersions();

} // namespace tabula
