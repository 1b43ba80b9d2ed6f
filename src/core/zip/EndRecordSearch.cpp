#include "core/zip/EndRecordSearch.h"

#include <algorithm>

namespace tabula {

using namespace ZipFormat;

namespace {

// Zero padding to the next 512-byte boundary, as some copy tools leave it.
bool IsBlockPadding(std::span<const uint8_t> rest, uint64_t fileSize) {
    return fileSize % 512 == 0 && rest.size() < 512 &&
           std::all_of(rest.begin(), rest.end(), [](uint8_t b) { return b == 0; });
}

} // namespace

std::optional<TEndRecordMatch> SearchEndRecord(std::span<const uint8_t> tail, uint64_t fileSize) {
    const size_t length = tail.size();
    if (length <= EndRecordSize || fileSize < length) {
        return std::nullopt;
    }
    for (size_t p = length - EndRecordSize - 1;; --p) {
        if (tail[p] == 'P' && tail[p + 1] == 'K' && tail[p + 2] == 5 && tail[p + 3] == 6) {
            TByteCursor cursor(tail.subspan(p));
            const auto record = ReadEndRecord(cursor);
            if (record) {
                TEndRecordMatch match;
                match.Position = p;
                match.Record = *record;
                const size_t end = p + EndRecordSize + record->CommentLength;
                match.EndOfZipData = fileSize - length + end;
                if (end != length) {
                    match.Garbage = end > length || !IsBlockPadding(tail.subspan(end), fileSize);
                }
                const auto present = tail.subspan(p + EndRecordSize);
                const auto comment =
                    present.first(std::min<size_t>(present.size(), record->CommentLength));
                const auto zero = std::find(comment.begin(), comment.end(), uint8_t{0});
                match.Comment.assign(comment.begin(), zero);
                return match;
            }
        }
        if (p == 0) {
            break;
        }
    }
    return std::nullopt;
}

} // namespace tabula
