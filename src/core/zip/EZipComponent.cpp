#include "core/zip/EZipComponent.h"

#include "core/zip/ZipMessages.h"

namespace tabula {

namespace {

// A missing text is used as it is, so its notice never takes an argument.
std::string FormattedText(int id, const TZipFormatArg& arg) {
    if (!HasZipMessage(id)) {
        return ZipMessageText(id);
    }
    return FormatZipText(ZipMessageText(id), {arg});
}

} // namespace

EZipComponent::EZipComponent(int id, bool showToUser)
    : std::runtime_error(ZipMessageText(id)), resourceId_(id), showToUser_(showToUser) {}

EZipComponent::EZipComponent(int id, int diskNumber)
    : std::runtime_error(FormattedText(id, int64_t{diskNumber})), resourceId_(id),
      showToUser_(true) {}

EZipComponent::EZipComponent(int id, const std::string& text)
    : std::runtime_error(FormattedText(id, text)), resourceId_(id), showToUser_(true) {}

} // namespace tabula
