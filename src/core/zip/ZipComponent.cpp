#include "core/zip/ZipComponent.h"

#include "core/zip/ZipMessages.h"

namespace tabula {

TZipComponent::TZipComponent(IZipUi* ui) : ui_(ui) {}

TZipComponent::~TZipComponent() = default;

void TZipComponent::SetZipFilename(const std::string& path) {
    zipFilename_ = path;
    List();
}

template <class F> TZipComponent::TOutcome TZipComponent::Outcome(F operation) {
    errCode_ = 0;
    try {
        operation();
    } catch (...) {
    }
    TOutcome outcome;
    if (errCode_ != 0) {
        outcome = {errCode_, message_};
    }
    errCode_ = 0;
    return outcome;
}

TZipComponent::TOutcome TZipComponent::ListArchive(const std::string& path) {
    return Outcome([&] { SetZipFilename(path); });
}

TZipComponent::TOutcome TZipComponent::ExtractMembers() {
    return Outcome([&] { Extract(); });
}

int TZipComponent::Count() const {
    return zipFilename_.empty() ? 0 : static_cast<int>(listing_->Entries.size());
}

std::span<const ZipDirEntry> TZipComponent::DirEntries() const {
    return {listing_->Entries.data(), static_cast<size_t>(Count())};
}

void TZipComponent::ReportError(int id) {
    ++reports_;
    message_ = ZipMessageText(id);
    errCode_ = id;
    if (!unattended_ && onMessage_) {
        onMessage_(*this, 0, message_);
    }
}

void TZipComponent::ReportException(const EZipComponent& error) {
    ++reports_;
    const std::string text = error.what();
    if (error.ShowToUser() && !unattended_ && ui_ != nullptr) {
        ui_->ShowMessage(text);
    }
    errCode_ = error.ResourceId();
    message_ = text;
    if (onMessage_) {
        onMessage_(*this, 0, message_);
    }
}

bool TZipComponent::CheckDrive() {
    volumeLabel_.clear();
    driveTotalSize_ = 0;
    // There are no drive letters here, so a root is never "not a valid
    // drive"; a root that is not a file system is "not defined".
    const auto drive = Facts().Query(driveRoot_);
    if (!drive) {
        return false;
    }
    volumeLabel_ = drive->Label;
    driveKind_ = drive->Kind;
    driveTotalSize_ = drive->TotalSize;
    return driveKind_ == TDriveKind::Network || driveTotalSize_ != -1;
}

void TZipComponent::FireDirUpdate() {
    if (onDirUpdate_) {
        onDirUpdate_(*this);
    }
}

} // namespace tabula
