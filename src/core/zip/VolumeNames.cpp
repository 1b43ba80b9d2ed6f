#include "core/zip/VolumeNames.h"

#include <cstdio>

namespace tabula {

namespace {

// Where the file name's extension starts (its "."), or the name's end.
size_t ExtensionStart(const std::string& path, size_t nameStart) {
    const size_t dot = path.rfind('.');
    return dot == std::string::npos || dot < nameStart ? path.size() : dot;
}

size_t NameStart(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

std::string Digits(int value, int width) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*d", width, value);
    return text;
}

} // namespace

std::optional<std::string> NumberedVolumeName(const std::string& path, int volume) {
    const size_t nameStart = NameStart(path);
    const size_t extension = ExtensionStart(path, nameStart);
    // Never reach into the folder part of the path.
    if (extension - nameStart < 3) {
        return std::nullopt;
    }
    return path.substr(0, extension - 3) + Digits(volume + 1, 3) + path.substr(extension);
}

std::string SplitVolumeName(const std::string& lastVolume, int volume) {
    const size_t nameStart = NameStart(lastVolume);
    const size_t extension = ExtensionStart(lastVolume, nameStart);
    const bool upper = extension + 1 < lastVolume.size() && lastVolume[extension + 1] >= 'A' &&
                       lastVolume[extension + 1] <= 'Z';
    return lastVolume.substr(0, extension) + (upper ? ".Z" : ".z") + Digits(volume + 1, 2);
}

std::optional<TSplitVolume> EarlierSplitVolume(const std::string& path) {
    const size_t extension = ExtensionStart(path, NameStart(path));
    const std::string ext = path.substr(extension);
    if (ext.size() < 4 || (ext[1] != 'z' && ext[1] != 'Z') || ext.size() > 8) {
        return std::nullopt;
    }
    int number = 0;
    for (size_t i = 2; i < ext.size(); ++i) {
        if (ext[i] < '0' || ext[i] > '9') {
            return std::nullopt;
        }
        number = number * 10 + (ext[i] - '0');
    }
    TSplitVolume volume{path.substr(0, extension) + (ext[1] == 'Z' ? ".ZIP" : ".zip"), number};
    // Only the names the set's reader looks for (no "set.z00" or "set.z001").
    if (number < 1 || SplitVolumeName(volume.LastVolume, number - 1) != path) {
        return std::nullopt;
    }
    return volume;
}

int NumberBeforeExtension(const std::string& path) {
    const size_t nameStart = NameStart(path);
    const size_t extension = ExtensionStart(path, nameStart);
    if (extension - nameStart < 3) {
        return -1;
    }
    int number = 0;
    for (size_t i = extension - 3; i < extension; ++i) {
        if (path[i] < '0' || path[i] > '9') {
            return -1;
        }
        number = number * 10 + (path[i] - '0');
    }
    return number;
}

} // namespace tabula
