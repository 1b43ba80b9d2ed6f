#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tabula::test {

// A fresh empty directory under the system's temporary directory, removed
// with everything in it when the object ends.
class TScratchDirectory {
public:
    TScratchDirectory();
    ~TScratchDirectory();
    TScratchDirectory(const TScratchDirectory&) = delete;
    TScratchDirectory& operator=(const TScratchDirectory&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    // The names of the entries, hidden ones included, sorted.
    std::vector<std::string> Entries() const;

private:
    std::filesystem::path path_;
};

std::string ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);
// A file of tests/data.
std::string TestDataFile(const std::string& relative);

} // namespace tabula::test
