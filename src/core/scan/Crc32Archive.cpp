#include "scan/Crc32.h"

namespace tabula {

void TCrc32::CollectArchive() {
    throw ECrcZipError("File \"" + fileName_ + "\": archives cannot be read yet");
}

} // namespace tabula
