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
    TScanList& List;
    std::set<std::pair<unsigned long long, unsigned long long>> Seen{};

    // Reads the folder at path (from the root, ending in "/"; "" the root),
    // whose files' rows are named as folder says.
    void Folder(const std::string& path, TScanFolder folder, int depth) {
        if (depth > MaxFolderDepth) {
            Fail(path, "Folder \"" + FolderText(path) + "\" is more than " +
                           std::to_string(MaxFolderDepth) + " levels deep; it was not read");
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
        const auto index = static_cast<std::uint32_t>(List.Folders.size());
        if (!path.empty()) {
            List.Folders.push_back(folder);
        }
        for (const std::string& name : level.Files) {
            List.Entries.push_back({path + name, path.empty() ? 0 : index});
        }
        for (const std::string& name : level.Folders) {
            if (name.front() == '.') {
                continue; // hidden
            }
            const std::string text = FileNameText(name);
            TScanFolder below;
            if (path.empty() && FolderSets) {
                below.FolderSet = text;
            } else if (!folder.FolderSet.empty()) {
                below.FolderSet = folder.FolderSet;
                below.RomPrefix = folder.RomPrefix + text + "\\";
            } else {
                below.SetPrefix = folder.SetPrefix + text + "\\";
            }
            Folder(path + name + "/", std::move(below), depth + 1);
        }
    }

    static std::string FolderText(const std::string& path) {
        return PathText(path.substr(0, path.size() - 1));
    }

    void Fail(const std::string& path, std::string message) {
        TScanFolder failed;
        failed.Failure = std::move(message);
        List.Entries.push_back({path, static_cast<std::uint32_t>(List.Folders.size())});
        List.Folders.push_back(std::move(failed));
    }
};

} // namespace

TScanList ListScanEntries(const std::string& dirPath, const TScanOptions& options) {
    TScanList list;
    if (!options.WalksTree()) {
        std::vector<std::string> names = ListFiles(dirPath);
        list.Entries.reserve(names.size());
        for (std::string& name : names) {
            list.Entries.push_back({std::move(name)});
        }
        return list;
    }
    TWalk walk{dirPath, options.FolderSets, list};
    walk.Folder({}, {}, 0);
    return list;
}

} // namespace tabula
