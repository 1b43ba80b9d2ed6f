#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tabula {

// One item of a 7z archive as its header lists it.
struct TSevenZipMember {
    std::string Name;  // UTF-8 from the stored UTF-16LE (unpaired surrogates -> U+FFFD), separators
                       // as stored
    uint64_t Size = 0; // unpacked size
    // The CRC-32 the header stores, if any (for a member that is its folder's
    // only stream, the folder's unpack CRC counts).
    std::optional<uint32_t> Crc;
    // An item without a stream that is not an empty file, or one whose
    // attributes say directory; an item with a stream never is one.
    bool IsDirectory = false;
    bool HasStream = true; // false for empty files and directories
    bool IsAnti = false;   // an item without a stream marked as a deletion
    // A symbolic link (a Unix mode in its attributes says so): its data is
    // the link's target, not a file's bytes.
    bool IsLink = false;
    uint32_t Folder = UINT32_MAX; // index into Folders (UINT32_MAX when no stream)
    uint64_t FolderOffset = 0;    // where its bytes start in its folder's output
};

// One coder of a folder, as stored: Method holds the method id's bytes (21
// for LZMA2, 03 01 01 for LZMA, 06 F1 07 01 for AES, ...).
struct TSevenZipCoder {
    std::vector<uint8_t> Method;
    std::vector<uint8_t> Properties;
    uint32_t InStreams = 1;  // the packed side: what the coder reads when decoding
    uint32_t OutStreams = 1; // what it writes when decoding
};

// A folder: packed streams that coders turn into one output, which holds the
// bytes of its members one after another. Streams of the coders are numbered
// across the folder, in coder order.
struct TSevenZipFolder {
    uint64_t PackedSize = 0; // sum of its packed streams
    uint64_t UnpackSize = 0; // size of the folder's final output (the main unbound out stream)
    bool Encrypted = false;  // a coder is AES (06 F1 07 01)
    uint32_t Streams = 0;    // members whose data lie in it
    uint64_t PackOffset = 0; // file offset of its first packed stream; the others follow
    std::vector<uint64_t> PackSizes;     // each packed stream's size, in file order
    std::vector<uint32_t> PackedStreams; // the in stream each packed stream feeds, same order
    std::vector<TSevenZipCoder> Coders;
    std::vector<std::pair<uint32_t, uint32_t>> BindPairs; // (in stream, out stream feeding it)
    std::vector<uint64_t> OutSizes;                       // the size of every out stream
    uint32_t MainOutStream = 0;        // the out stream no bind pair takes: the folder's output
    std::optional<uint32_t> UnpackCrc; // CRC-32 of the folder's output, if stored
};

struct TSevenZipListing {
    std::vector<TSevenZipMember> Members; // in header order, directories included
    std::vector<TSevenZipFolder> Folders;
    bool HeaderWasEncoded = false;
    uint64_t PackedEnd = 0; // file offset where the last packed stream ends
};

enum class TSevenZipFault { Damaged, Encrypted, Truncated, Unsupported };

class ESevenZipError : public std::runtime_error {
public:
    ESevenZipError(TSevenZipFault fault, const std::string& what);
    TSevenZipFault Fault() const { return fault_; }

private:
    TSevenZipFault fault_;
};

// Reads the listing of a 7z archive of fileSize bytes through readAt (which
// returns how many bytes arrived at an absolute offset; fewer at the end of
// the file). Reads the headers only, decoding the header when it is packed;
// no member's data is read. Throws ESevenZipError:
//   Truncated   when the header does not lie wholly within fileSize (a cut
//               file or one volume of a split set),
//   Encrypted   when the header itself is encrypted,
//   Unsupported when the packed header needs a coder other than Copy, LZMA or
//               LZMA2,
//   Damaged     for anything else that does not add up.
// Messages are short phrases saying what is wrong ("its header CRC does not
// match"). Encrypted members list like any others, their folder marked.
TSevenZipListing
ReadSevenZipListing(uint64_t fileSize,
                    const std::function<size_t(uint64_t, uint8_t*, size_t)>& readAt);

// True when the first six bytes are the 7z signature.
bool HasSevenZipSignature(std::span<const uint8_t> first6);

} // namespace tabula
