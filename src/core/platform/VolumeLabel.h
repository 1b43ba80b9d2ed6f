#pragma once

#include <string>
#include <string_view>

namespace tabula {

// Decodes the \xHH escapes that udev uses in /dev/disk/by-label names.
std::string DecodeUdevEscapes(std::string_view name);

// The label of the block device major:minor, found among the links of
// byLabelDir that point at it; empty when it has none.
std::string VolumeLabelOf(unsigned major, unsigned minor,
                          const std::string& byLabelDir = "/dev/disk/by-label");

} // namespace tabula
