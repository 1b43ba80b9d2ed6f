// Times naming from a reference datafile as the window does it: the
// reference read alone (what "Open datafile" reads), the same file read and
// indexed, then a table of rows named from the index in one step (the
// change made and applied to the document). Each line: what, then seconds.
// The rows are copies of reference roms under other names, every tenth one
// unknown.
// Usage: names_match REFERENCE ROWS RUNS

#include "core/datafile/DatafileRead.h"
#include "core/reference/RowNaming.h"
#include "core/romlist/RomDocument.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace tabula;

namespace {

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Misnamed copies of reference roms spread over the whole file, every tenth unknown.
void MakeRows(const TOpenedDatafile& reference, std::size_t count,
              std::vector<TRomTable::TRow>& rows, std::vector<TRowExtras>& extras) {
    const std::size_t stride = reference.Rows.size() / count + 1;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t r = (i * stride) % reference.Rows.size();
        const std::string name = "file" + std::to_string(i);
        TRowExtras row;
        row.Sha1 = reference.Extras[r].Sha1;
        std::string crc = reference.Rows[r][5];
        if (i % 10 == 9) {
            row.Sha1.assign(40, 'f');
            crc = "FFFFFFFF";
        }
        rows.push_back({name, name, name, name, name + ".bin", crc, reference.Rows[r][6]});
        extras.push_back(std::move(row));
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: names_match REFERENCE ROWS RUNS\n");
        return 2;
    }
    const std::string file = argv[1];
    const std::size_t count = std::strtoul(argv[2], nullptr, 10);
    const int runs = std::atoi(argv[3]);
    std::vector<TRomTable::TRow> rows;
    std::vector<TRowExtras> extras;
    for (int run = 0; run < runs; ++run) {
        auto start = std::chrono::steady_clock::now();
        {
            const TOpenedDatafile opened = ReadDatafile(file);
            std::printf("open %.3f\n", Seconds(start));
            if (rows.empty()) {
                MakeRows(opened, count, rows, extras);
            }
        }
        start = std::chrono::steady_clock::now();
        TReferenceIndex index;
        index.AddFile(file);
        std::printf("index %.3f\n", Seconds(start));

        TRomDocument document;
        document.Open(std::vector<TRomTable::TRow>(rows), std::vector<TRowExtras>(extras), nullptr);
        start = std::chrono::steady_clock::now();
        TRowNamer namer(index);
        document.Apply(NamingChange(document.Table(), namer));
        std::printf("match %.3f\n", Seconds(start));
        std::fprintf(stderr, "%s\n", MatchSummaryText(namer.Counts()).c_str());
        std::fflush(stdout);
    }
    return 0;
}
