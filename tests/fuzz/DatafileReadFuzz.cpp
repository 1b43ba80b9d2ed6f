// libFuzzer target: reads arbitrary bytes as a datafile of any of the three
// formats. A read either gives rows or fails with its refusal, never another
// way. What was read and written again must read back and write the same
// bytes a second time: nothing a reader keeps is lost or moved by its writer.

#include "core/datafile/Datafile.h"
#include "core/datafile/DatafileFormat.h"
#include "core/datafile/DatafileRead.h"
#include "core/datafile/SizeCell.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// The bytes the opened file's own format writes, or nothing when its writer
// refuses what the reader took (a control character in a credit, say).
bool Written(const tabula::TOpenedDatafile& opened, std::string& bytes) {
    try {
        const auto writer =
            tabula::MakeDatafileWriter(opened.Format, {opened.Credits, {}, opened.Header});
        bytes = writer->Begin();
        for (std::size_t r = 0; r < opened.Rows.size(); ++r) {
            bytes += writer->Add(opened.Rows[r], opened.Extras[r], r);
        }
        bytes += writer->End();
        return true;
    } catch (const tabula::EDatafileError&) {
    } catch (const tabula::EConvertError&) {
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    tabula::TOpenedDatafile opened;
    try {
        opened = tabula::ReadDatafileText(bytes, "fuzz.dat");
    } catch (const tabula::EDatafileReadError&) {
        return 0;
    }
    if (opened.Rows.size() != opened.Extras.size()) {
        std::abort();
    }
    std::string first;
    if (!Written(opened, first)) {
        return 0;
    }
    tabula::TOpenedDatafile again;
    try {
        again = tabula::ReadDatafileText(first, "fuzz.dat");
    } catch (const tabula::EDatafileReadError&) {
        std::abort(); // a file its own writer wrote
    }
    std::string second;
    if (again.Format != opened.Format || !Written(again, second) || second != first) {
        std::abort();
    }
    return 0;
}
