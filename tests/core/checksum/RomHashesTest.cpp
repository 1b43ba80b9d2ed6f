#include "core/checksum/RomHashes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace tabula;

// Each digest alone and with the others, on this thread or with one handed
// to the helper, fed in uneven blocks, is what md5sum, sha1sum and sha256sum
// give for the lines `seq 100000` prints: 588,895 bytes, more than the
// helper's ring of blocks holds at once.
TEST(RomHashes, DigestsAreThoseOfTheCommandLineToolsWithAndWithoutTheHelper) {
    std::string bytes;
    for (int i = 1; i <= 100000; ++i) {
        bytes += std::to_string(i) + '\n';
    }
    const std::string md5 = "dea9193b768319cbb4ff1a137ac03113";
    const std::string sha1 = "9dc4a47b7b3c9a36667a2ce402baf429afb9c17f";
    const std::string sha256 = "b2bc7d3f8b652d2ec96865b68ad8f80e22cca174abe1aed7889e242a747d590f";
    const THashKinds kinds[] = {{true, false, false}, {false, true, false}, {false, false, true},
                                {false, true, true},  {true, false, true},  {true, true, true}};
    for (const bool helper : {false, true}) {
        for (const THashKinds& kind : kinds) {
            SCOPED_TRACE(testing::Message() << "helper " << helper << " md5 " << kind.Md5
                                            << " sha1 " << kind.Sha1 << " sha256 " << kind.Sha256);
            const bool allowed = AllowDigestHelper(helper);
            TRomHashes hashes(kind);
            for (size_t at = 0, block = 1; at < bytes.size();
                 at += block, block = std::min(block * 3 + 1, size_t{200000})) {
                const size_t size = std::min(block, bytes.size() - at);
                hashes.Update(std::as_bytes(std::span(bytes.data() + at, size)));
            }
            const TRomHashes::TDigests digests = hashes.Finish();
            AllowDigestHelper(allowed);
            EXPECT_EQ(digests.Md5, kind.Md5 ? md5 : "");
            EXPECT_EQ(digests.Sha1, kind.Sha1 ? sha1 : "");
            EXPECT_EQ(digests.Sha256, kind.Sha256 ? sha256 : "");
        }
    }
}
