#pragma once

#include <optional>
#include <string>

namespace tabula {

// Names of the files of a set split into volumes on a fixed or network drive.
// Volumes count from 0.

// The numbered form (set001.zip, set002.zip, ...): the three characters of the
// file name before its extension replaced by volume + 1 in three digits.
// Nothing when the name has fewer than three characters there.
std::optional<std::string> NumberedVolumeName(const std::string& path, int volume);

// The form of today's split archives (set.z01, set.z02, ..., set.zip): the
// extension of the last volume's name replaced by ".z" and volume + 1 in at
// least two digits, upper case when the extension is.
std::string SplitVolumeName(const std::string& lastVolume, int volume);

// An earlier volume of a set in that form: the last volume's path and the
// volume's number (1 for set.z01).
struct TSplitVolume {
    std::string LastVolume;
    int Number = 0;
};

// What path is when its extension is ".z" and a number in the form
// SplitVolumeName writes (set.z01 and set.zip, SET.Z01 and SET.ZIP);
// nothing otherwise. The last volume may not exist.
std::optional<TSplitVolume> EarlierSplitVolume(const std::string& path);

// The volume number written in the three characters before the extension of
// path: "set003.zip" gives 3. -1 when they are not digits.
int NumberBeforeExtension(const std::string& path);

} // namespace tabula
