#include "scan/Crc32.h"

#include "scan/StringsTools.h"
#include "zip/ZipComponent.h"

namespace tabula {

namespace {

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// A folder stored in the archive: nothing to checksum and nothing to extract.
bool IsFolderEntry(const ZipDirEntry& entry) {
    return entry.UncompressedSize == 0 && !entry.FileName.empty() &&
           (entry.FileName.back() == '\\' || entry.FileName.back() == '/');
}

} // namespace

void TCrc32::CollectArchive() {
    const std::string archiveName = ShortFileName(fileName_);
    TZipComponent zip(Ui);
    zip.SetErrCode(0);
    try {
        zip.SetZipFilename(fileName_);
    } catch (...) {
        // The component reports through ErrCode; only that counts.
    }
    if (zip.ErrCode() != 0) {
        zip.SetErrCode(0);
        throw ECrcZipError("File " + Quoted(archiveName) + ": " + zip.Message());
    }

    for (const ZipDirEntry& entry : zip.DirEntries()) {
        const std::string name = LowerCase(entry.FileName);
        const std::string shortName = LowerCase(ShortFileName(entry.FileName));
        const uint32_t size = entry.UncompressedSize;
        if (SkipTxtFiles && FileExtension(shortName) == ".txt") {
            continue;
        }
        if (IsFolderEntry(entry)) {
            continue;
        }
        if (size >= static_cast<uint64_t>(MaxRomSize)) {
            throw ECrcZipError("File " + Quoted(archiveName) + ": member " + Quoted(name) +
                               " is too large (" + std::to_string(size) +
                               " bytes): a ROM must be under 2 GiB");
        }
        headerSize_ = 0;
        if (SnesMode) {
            // A bad size ends the whole archive, keeping what came before.
            if (size < 8192 && RemoveBadSize) {
                return;
            }
            headerSize_ = SnesHeaderSize(static_cast<int32_t>(size));
            if (headerSize_ != 0 && headerSize_ != 512 && RemoveBadSize) {
                return;
            }
        }
        if (NesMode) {
            headerSize_ = 16;
        }
        if (headerSize_ == 0) {
            // The directory already knows: nothing is decompressed.
            AddItem(name, LowerCase(HexText(entry.Crc)), size);
        } else {
            const TCrcResult result = CrcOfZipMember(fileName_, name);
            AddItem(name, LowerCase(HexText(result.Crc)), result.Size);
        }
    }
}

TCrc32::TCrcResult TCrc32::CrcOfZipMember(const std::string& archivePath,
                                          const std::string& memberName) {
    throw ECrcZipError("File " + Quoted(ShortFileName(archivePath)) + ": member " +
                       Quoted(memberName) + " cannot be extracted yet");
}

} // namespace tabula
