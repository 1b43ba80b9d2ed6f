#include "core/zip/ZipMessages.h"

#include <algorithm>
#include <array>
#include <utility>

namespace tabula {

namespace {

struct TMessageText {
    int Id;
    std::string_view Text;
};

// Sorted by id. 10205 is this program's own: a member or directory that only
// a 64-bit (Zip64) field can describe. The prompts 11034 and 11035 have no
// stored text; the volume prompt uses its built-in wording for them.
constexpr std::array<TMessageText, 48> Messages = {{
    {10102, "Error - no zip file specified!"},
    {10103, "Requested memory not available"},
    {10105, "Copying: "},
    {10201, "Seek error reading Zip archive!"},
    {10202, "Unknown error in List() function\n"},
    {10203, "Warning - Error in zip structure!"},
    {10204, "Warning - Garbage at the end of the zipfile!"},
    {10205, "Zip64 archive: a member, offset or directory of 4 GB or more cannot be read"},
    {10501, "Fatal Error in libunziplib.so: abort exception"},
    {10502, "Warning - Unattended Extract: possible not all files extracted"},
    {10701, "libunziplib.so Loaded!"},
    {10702, "UnzipLibExec function not found in libunziplib.so!"},
    {10703, "GetUnzipLibVersion function not found in libunziplib.so!"},
    {10704, "libunziplib.so not found!"},
    {11001, "Input file does not exist"},
    {11002, "Zip file could not be opened"},
    {11003, "Not a valid drive: %s"},
    {11004, "Drive %s is NOT defined"},
    {11006, "Not enough memory to display MsgBox"},
    {11007, "User canceled operation"},
    {11008, "Seek error in input file"},
    {11009, "Creation of output file failed"},
    {11011, "Error while reading the End Of Central Directory"},
    {11012, "Error while reading a local header"},
    {11013, "Error while reading a central header"},
    {11014, "A local header signature is wrong"},
    {11015, "A central header signature is wrong"},
    {11016, "Error while reading a local file name"},
    {11017, "Error while reading a central file name"},
    {11018, "Error while reading a local extra field"},
    {11019, "Error while reading a central extra field"},
    {11020, "Error while reading/writing a data descriptor area"},
    {11021, "Error while reading zipped data"},
    {11022, "Error while reading a file comment"},
    {11023, "Error while reading the archive comment"},
    {11024, "UnKnown error in function ReadSpan(), WriteSpan(), Rename() or CopyZippedFiles()\n"},
    {11025, "Unattended disk spanning not implemented"},
    {11026, "A local header not found in internal structure"},
    {11027, "Temporary file could not be created"},
    {11028, "Error while writing a local header"},
    {11029, "Error while writing a central header"},
    {11030, "Error while writing the End Of Central Directory"},
    {11031, "Error while reading a Extended Local signature"},
    {11033, "Please insert last disk"},
    {11036, "This archive is not a valid Zip archive"},
    {11037, "This is the first disk in a backup set,\nplease insert the last disk of this set"},
    {11038, "This is the %dth disk in a backup set,\nplease insert the last disk of this set"},
    {11045, "This is the first file in a backup set,\nplease choose the last file of this set"},
}};

constexpr bool SortedById() {
    for (size_t i = 1; i < Messages.size(); ++i) {
        if (Messages[i - 1].Id >= Messages[i].Id) {
            return false;
        }
    }
    return true;
}
static_assert(SortedById(), "message table must be sorted by id without duplicates");

} // namespace

std::optional<std::string_view> FindZipMessage(int id) {
    const auto it = std::lower_bound(Messages.begin(), Messages.end(), id,
                                     [](const TMessageText& m, int key) { return m.Id < key; });
    if (it == Messages.end() || it->Id != id || it->Text.empty()) {
        return std::nullopt;
    }
    return it->Text;
}

bool HasZipMessage(int id) {
    return FindZipMessage(id).has_value();
}

std::string ZipMessageText(int id) {
    if (const auto text = FindZipMessage(id)) {
        return std::string(*text);
    }
    return "Message resource is probably not bound to executable\nMissing String ID is: " +
           std::to_string(id);
}

std::string FormatZipText(std::string_view format, const std::vector<TZipFormatArg>& args) {
    std::string out;
    out.reserve(format.size() + 16);
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            out.push_back(format[i]);
            continue;
        }
        const std::string_view rest = format.substr(i);
        if (rest.starts_with("%%")) {
            out.push_back('%');
            i += 1;
            continue;
        }
        const size_t intLength = rest.starts_with("%.1d") ? 4 : rest.starts_with("%d") ? 2 : 0;
        const bool isText = rest.starts_with("%s");
        if ((intLength == 0 && !isText) || next >= args.size()) {
            out.push_back('%');
            continue;
        }
        const TZipFormatArg& arg = args[next++];
        if (const auto* number = std::get_if<int64_t>(&arg)) {
            out += std::to_string(*number);
        } else {
            out += std::get<std::string>(arg);
        }
        i += (intLength != 0 ? intLength : 2) - 1;
    }
    return out;
}

} // namespace tabula
