#include "core/scan/ScanTree.h"

#include "core/platform/DirectoryListing.h"
#include "core/text/CodePages.h"

#include <set>
#include <utility>

namespace tabula {

namespace {

struct TWalk {
    const std::string& Root; // the scanned folder, ending in "/"
    bool FolderSets = false;
    std::vector<TScanEntry>& Entries;
    std::set<std::pair<unsigned long long, unsigned long long>> Seen{};

    // Reads the folder at path (from the root, ending in "/"; "" the root)
    // whose files' sets begin with prefix; set names a folder set's files.
    void Folder(const std::string& path, const std::string& prefix, const std::string& set,
                const std::string& romPrefix, int depth) {
        const std::string text = FolderText(path);
        if (depth > MaxFolderDepth) {
            Fail(path, "Folder \"" + text + "\" is more than " + std::to_string(MaxFolderDepth) +
                           " levels deep; it was not read");
            return;
        }
        TDirectoryLevel level;
        try {
            level = ListLevel(Root + path);
        } catch (const EDirectoryError& error) {
            if (path.empty()) {
                throw;
            }
            Fail(path, ValidUtf8Text(error.what()));
            return;
        }
        if (!Seen.insert({level.Device, level.Inode}).second) {
            return; // reached before, through another mount
        }
        for (std::string& name : level.Files) {
            TScanEntry entry;
            entry.Path = path + name;
            if (!set.empty()) {
                entry.FolderSet = set;
                entry.RomPath = romPrefix + FileNameText(name);
            } else {
                entry.SetPrefix = prefix;
            }
            Entries.push_back(std::move(entry));
        }
        for (const std::string& name : level.Folders) {
            if (name.front() == '.') {
                continue; // hidden
            }
            const std::string folder = FileNameText(name);
            if (path.empty() && FolderSets) {
                Folder(name + "/", {}, folder, {}, depth + 1);
            } else if (!set.empty()) {
                Folder(path + name + "/", {}, set, romPrefix + folder + "\\", depth + 1);
            } else {
                Folder(path + name + "/", prefix + folder + "\\", {}, {}, depth + 1);
            }
        }
    }

    static std::string FolderText(const std::string& path) {
        return FileNameText(path.empty() ? path : path.substr(0, path.size() - 1));
    }

    void Fail(const std::string& path, std::string message) {
        TScanEntry entry;
        entry.Path = path;
        entry.Failure = std::move(message);
        Entries.push_back(std::move(entry));
    }
};

} // namespace

std::vector<TScanEntry> ListScanEntries(const std::string& dirPath, const TScanOptions& options) {
    std::vector<TScanEntry> entries;
    if (!options.WalksTree()) {
        std::vector<std::string> names = ListFiles(dirPath);
        entries.reserve(names.size());
        for (std::string& name : names) {
            entries.push_back({std::move(name)});
        }
        return entries;
    }
    TWalk walk{dirPath, options.FolderSets, entries};
    walk.Folder({}, {}, {}, {}, 0);
    return entries;
}

} // namespace tabula
