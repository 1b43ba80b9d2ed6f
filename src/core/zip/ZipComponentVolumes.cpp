// Switching between the volumes of a split set: numbered files side by side
// on a fixed or network drive, or one labelled disk per volume on a removable
// drive, which the user is asked to insert.
#include "core/zip/ZipComponent.h"

#include "core/platform/FileReader.h"
#include "core/zip/VolumeNames.h"
#include "core/zip/ZipMessages.h"

namespace tabula {

namespace {

// The prompts' own wording, for message ids the table has no text for.
constexpr const char* BuiltInLastDisk = "Please insert last disk in set";
constexpr const char* BuiltInVolume = "Please insert disk volume %.1d of %.1d";
constexpr const char* BuiltInDrive = "\r\nin drive: %s";
constexpr int VolumeOfSet = 11034;
constexpr int InDrive = 11035;

std::string PromptText(int id, const char* builtIn) {
    const auto stored = FindZipMessage(id);
    return stored ? std::string(*stored) : std::string(builtIn);
}

std::string DiskLabel(int volume) {
    const std::string number = std::to_string(volume + 1);
    return "PKBACK# " + std::string(number.size() < 3 ? 3 - number.size() : 0, '0') + number;
}

} // namespace

void TZipComponent::OpenVolume(int volume) {
    input_.Close();
    state_.CurrentVolume = volume;
    bool failedBefore = false;
    for (;;) {
        TDriveKind kind = driveKind_;
        if (failedBefore) {
            if (IsFixedOrNetwork(kind)) {
                throw EZipComponent(ZipMsg::InputMissing, true);
            }
            ReportError(ZipMsg::InputMissing);
        }
        // Asked again after every answer: a disk with the wrong label is not
        // taken, and the prompt must come back for it.
        do {
            newVolumeWanted_ = true;
            kind = AskForVolume();
        } while (!VolumeCheck(kind, volume));
        if (input_.Open(state_.WorkingFileName)) {
            return;
        }
        failedBefore = true;
    }
}

bool TZipComponent::VolumeCheck(TDriveKind kind, int volume) {
    if (!IsFixedOrNetwork(kind)) {
        return volumeLabel_ == DiskLabel(volume);
    }
    // The numbered name first, when the set's own name is numbered as its
    // last volume (so "photos2023.zip" never takes "photos2001.zip"); then
    // the split form, whose last volume keeps the set's own name.
    const std::string& set = state_.SetName.empty() ? state_.WorkingFileName : state_.SetName;
    const auto numbered = NumberBeforeExtension(set) == state_.LastDisk + 1
                              ? NumberedVolumeName(set, volume)
                              : std::nullopt;
    if (numbered && IsExistingFile(*numbered)) {
        state_.WorkingFileName = *numbered;
        return true;
    }
    const std::string split = volume == state_.LastDisk ? set : SplitVolumeName(set, volume);
    if (IsExistingFile(split)) {
        state_.WorkingFileName = split;
        return true;
    }
    // Opening the missing file fails and names the failure.
    state_.WorkingFileName = numbered ? *numbered : split;
    return true;
}

TDriveKind TZipComponent::AskForVolume() {
    if (ui_ != nullptr) {
        ui_->Pump();
    }
    // A drive without a disk still is the drive it was.
    if (const auto drive = Facts().Query(driveRoot_)) {
        driveKind_ = drive->Kind;
    }
    const TDriveKind kind = driveKind_;
    TVolumeAnswer answer = TVolumeAnswer::Ok;
    while ((answer == TVolumeAnswer::Ok && !CheckDrive()) || newVolumeWanted_) {
        if (IsFixedOrNetwork(kind)) {
            newVolumeWanted_ = false;
            break;
        }
        if (unattended_) {
            throw EZipComponent(ZipMsg::UnattendedSpanning, true);
        }
        const bool lastDisk = state_.CurrentVolume < 0;
        const std::string text = VolumePrompt();
        answer = ui_ != nullptr ? ui_->AskForVolume(text, lastDisk) : TVolumeAnswer::NotShown;
        newVolumeWanted_ = false;
    }
    if (answer == TVolumeAnswer::NotShown) {
        throw EZipComponent(ZipMsg::PromptFailed, true);
    }
    if (answer != TVolumeAnswer::Ok) {
        throw EZipComponent(ZipMsg::UserCancelled, false);
    }
    return kind;
}

std::string TZipComponent::VolumePrompt() const {
    std::string text =
        state_.CurrentVolume < 0
            ? PromptText(ZipMsg::InsertLastDisk, BuiltInLastDisk)
            : FormatZipText(PromptText(VolumeOfSet, BuiltInVolume),
                            {int64_t{state_.CurrentVolume} + 1, int64_t{state_.LastDisk} + 1});
    return text + FormatZipText(PromptText(InDrive, BuiltInDrive), {driveRoot_});
}

} // namespace tabula
