#include "core/platform/SequentialFile.h"

#include "tests/support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace tabula;
using tabula::test::TScratchDirectory;

TEST(SequentialFile, ReadsFromAPositionInBlocksOfTheBuffer) {
    TScratchDirectory dir;
    std::string bytes;
    for (int i = 0; i < 1000; ++i) {
        bytes += static_cast<char>(i * 7);
    }
    test::WriteBytes(dir.File("f"), bytes);
    const TSequentialFile file(dir.File("f"));
    EXPECT_EQ(file.Size(), 1000u);
    std::vector<std::byte> buffer(300);
    std::string seen;
    std::vector<size_t> blocks;
    file.ReadFrom(100, buffer, [&](std::span<const std::byte> block) {
        blocks.push_back(block.size());
        seen.append(reinterpret_cast<const char*>(block.data()), block.size());
    });
    EXPECT_EQ(seen, bytes.substr(100));
    EXPECT_EQ(blocks, (std::vector<size_t>{300, 300, 300}));

    blocks.clear();
    file.ReadFrom(1000, buffer, [&](std::span<const std::byte> b) { blocks.push_back(b.size()); });
    file.ReadFrom(5000, buffer, [&](std::span<const std::byte> b) { blocks.push_back(b.size()); });
    EXPECT_TRUE(blocks.empty());
}

TEST(SequentialFile, FileCutShortAfterOpeningRaisesAnError) {
    TScratchDirectory dir;
    test::WriteBytes(dir.File("f"), std::string(5000, 'x'));
    const TSequentialFile file(dir.File("f"));
    std::filesystem::resize_file(dir.File("f"), 1200);
    std::vector<std::byte> buffer(1000);
    try {
        file.ReadFrom(0, buffer, [](std::span<const std::byte>) {});
        FAIL() << "no exception";
    } catch (const EFileReadError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Cannot read file \"" + dir.File("f") + "\": it ended after 1200 of 5000 bytes");
    }
}

TEST(SequentialFile, MissingFileRaisesAnErrorNamingIt) {
    TScratchDirectory dir;
    try {
        const TSequentialFile file(dir.File("absent"));
        FAIL() << "no exception";
    } catch (const EFileReadError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Cannot open file \"" + dir.File("absent") + "\": No such file or directory");
    }
}
