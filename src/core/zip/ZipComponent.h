#pragma once

#include "core/platform/DriveInfo.h"
#include "core/platform/DriveKind.h"
#include "core/platform/ProcessPaths.h"
#include "core/platform/SequentialFile.h"
#include "core/zip/EZipComponent.h"
#include "core/zip/ZipDirEntry.h"
#include "core/zip/ZipFormat.h"
#include "core/zip/ZipInput.h"
#include "core/zip/ZipOptions.h"
#include "core/zip/ZipUi.h"

#include <array>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

struct UnzipCallbackInfo;

namespace tabula {

struct TUnzipRequest;

// What ReadSpan gives back; the numbers are the component's own result codes.
enum class TSpanResult : int {
    Joined = 0,
    ReportedFailure = -7, // reported through ErrCode and Message
    OutOfMemory = -8,
    OtherFailure = -9,
};

// The zip component: reads an archive's central directory itself and gives
// the rest of the program one ZipDirEntry per member.
//
// Use: set ErrCode to 0, assign ZipFilename (which lists the archive at
// once), treat a non-zero ErrCode as failure (its text is in Message), and
// otherwise read the first Count entries of DirEntries. No public operation
// lets an exception out: every failure ends in ErrCode and Message, and the
// component never clears them itself. ListArchive and ExtractMembers do that
// round for a caller and hand back the outcome.
//
// The directory reader lives in ZipComponentList.cpp; other operations on the
// component belong in files of their own beside it.
class TZipComponent {
public:
    // ui shows message boxes and the busy pointer; without one nothing is shown.
    explicit TZipComponent(IZipUi* ui = nullptr);
    ~TZipComponent();
    TZipComponent(const TZipComponent&) = delete;
    TZipComponent& operator=(const TZipComponent&) = delete;

    IZipUi* Ui() const { return ui_; }
    void SetUi(IZipUi* ui) { ui_ = ui; }

    // ---- The archive and its directory

    const std::string& ZipFilename() const { return zipFilename_; }
    // Stores path and lists the archive at once (also when it is the same
    // path again). After a failure ZipFilename is empty. A path that names no
    // file leaves the directory empty and reports nothing.
    void SetZipFilename(const std::string& path);

    // Members listed; 0 while ZipFilename is empty.
    int Count() const;
    // The first Count members in directory order; valid until the next listing.
    std::span<const ZipDirEntry> DirEntries() const;
    const ZipDirEntry& DirEntry(int index) const {
        return DirEntries()[static_cast<size_t>(index)];
    }

    // What the last listing found at ZipFilename (a missing file, a folder,
    // a regular file of some size).
    const TPathStatus& ZipStatus() const { return zipStatus_; }

    // The archive comment up to its first zero byte, as UTF-8.
    const std::string& ArchiveComment() const { return state_.ArchiveComment; }
    // The archive belongs to a set split into volumes.
    bool MultiVolume() const { return state_.MultiVolume; }

    // ---- One operation and its outcome, for callers

    // ErrCode and Message as an operation left them; Code 0 is success.
    struct TOutcome {
        int Code = 0;
        std::string Message;
        bool Ok() const { return Code == 0; }
    };
    // Lists path as assigning ZipFilename does, from a clean ErrCode, and
    // leaves ErrCode clean again for the next operation.
    TOutcome ListArchive(const std::string& path);
    // Extracts the members named in FileSpecs as Extract does, the same way.
    TOutcome ExtractMembers();

    // ---- Status

    // Code of the last failure or warning (a message id, see ZipMessages.h); 0 = none.
    int ErrCode() const { return errCode_; }
    void SetErrCode(int code) { errCode_ = code; }
    // Text of the last reported message.
    const std::string& Message() const { return message_; }

    // Records message id as ErrCode and its text as Message, then, unless
    // Unattended, calls OnMessage. Shows nothing; the caller decides whether
    // to go on.
    void ReportError(int id);
    // Records a caught failure: shows its text first when it asks for that and
    // the component is not Unattended, then sets ErrCode and Message and calls
    // OnMessage.
    void ReportException(const EZipComponent& error);

    // ---- The file system holding the archive (its "drive")

    const std::string& VolumeLabel() const { return volumeLabel_; }
    TDriveKind DriveKind() const { return driveKind_; }
    // Reads label, kind and size of the archive's file system. True when it could be queried
    // and, unless it is a network file system, its size is known.
    bool CheckDrive();
    // Where the component learns about drives; the system's unless set.
    void SetDriveFacts(IDriveFacts* facts) { driveFacts_ = facts; }

    // ---- Sets split into volumes (ZipComponentVolumes.cpp, ZipComponentSpan.cpp)

    // Where the listed archive's central directory was read from (in its
    // own volume); member data of an ordinary archive ends there.
    int64_t DirectoryOffset() const { return dirOffset_; }
    // The volume holding the listed archive's end record: 0 for an ordinary
    // archive, above 0 for the last volume of a set.
    int LastDisk() const { return state_.LastDisk; }
    // Whether reading the listed archive reads volumes other than its own
    // file: its end record names another disk, or, as a zip64 end, may.
    bool SpansVolumes() const {
        return state_.LastDisk != 0 || state_.EndRecord.DirStartDisk != 0 ||
               state_.EndRecord.NeedsZip64();
    }
    // Joins the set whose last volume is archive into one ordinary archive.
    // output names the file to make (its extension becomes ".zip"; once the
    // joined archive is complete, a file of that name goes to the trash, or
    // is replaced when HowToDelete is htdFinal; a volume of the set is never
    // replaced) or, ending in "/" or naming a directory, where to make a new
    // file "zip" + six characters + ".zip", readable by its owner only. On
    // Joined, output names the joined archive; on failure nothing is left,
    // output is empty and ErrCode and Message tell why.
    TSpanResult ReadSpan(const std::string& archive, std::string& output);

    // ---- Published properties (stored values unless noted)

    bool Verbose() const { return verbose_; }
    void SetVerbose(bool value) { verbose_ = value; }
    bool Trace() const { return trace_; }
    void SetTrace(bool value) { trace_ = value; }
    int AddCompLevel() const { return addCompLevel_; }
    void SetAddCompLevel(int value) { addCompLevel_ = value; }
    const AddOpts& AddOptions() const { return addOptions_; }
    void SetAddOptions(AddOpts value) { addOptions_ = std::move(value); }
    const std::string& ExtrBaseDir() const { return extrBaseDir_; }
    void SetExtrBaseDir(std::string value) { extrBaseDir_ = std::move(value); }
    const ExtrOpts& ExtrOptions() const { return extrOptions_; }
    void SetExtrOptions(ExtrOpts value) { extrOptions_ = std::move(value); }
    const SFXOpts& SFXOptions() const { return sfxOptions_; }
    void SetSFXOptions(SFXOpts value) { sfxOptions_ = std::move(value); }
    // Member specs for an extraction, one per line.
    const std::vector<std::string>& FileSpecs() const { return fileSpecs_; }
    std::vector<std::string>& FileSpecs() { return fileSpecs_; }
    void SetFileSpecs(std::vector<std::string> value) { fileSpecs_ = std::move(value); }
    // No message boxes, no prompts and no OnMessage from ReportError.
    bool Unattended() const { return unattended_; }
    void SetUnattended(bool value) { unattended_ = value; }

    // Whether a listing keeps the archive it read open for the caller, who
    // then reads members from the very file listed without opening it again.
    void KeepListedArchiveOpen(bool keep) { keepListedArchive_ = keep; }
    // The archive the last successful listing read (null when not kept).
    std::unique_ptr<TFileReader> TakeListedArchive() { return std::move(listedArchive_); }
    const std::string& Password() const { return password_; }
    void SetPassword(std::string value) { password_ = std::move(value); }
    const std::string& SFXPath() const { return sfxPath_; }
    void SetSFXPath(std::string value) { sfxPath_ = std::move(value); }
    // Where the unzip library is looked for first; the executable's directory
    // unless set. One trailing "/" is dropped.
    const std::string& DLLDirectory() const { return dllDirectory_; }
    void SetDLLDirectory(std::string value);
    OvrOpts SFXOverWriteMode() const { return sfxOverWriteMode_; }
    void SetSFXOverWriteMode(OvrOpts value) { sfxOverWriteMode_ = value; }
    const std::string& SFXCaption() const { return sfxCaption_; }
    void SetSFXCaption(std::string value) { sfxCaption_ = std::move(value); }
    const std::string& SFXDefaultDir() const { return sfxDefaultDir_; }
    void SetSFXDefaultDir(std::string value) { sfxDefaultDir_ = std::move(value); }
    const std::string& SFXCommandLine() const { return sfxCommandLine_; }
    void SetSFXCommandLine(std::string value) { sfxCommandLine_ = std::move(value); }
    const std::string& TempDir() const { return tempDir_; }
    void SetTempDir(std::string value) { tempDir_ = std::move(value); }
    int KeepFreeOnDisk1() const { return keepFreeOnDisk1_; }
    void SetKeepFreeOnDisk1(int value) { keepFreeOnDisk1_ = value; }
    int MaxVolumeSize() const { return maxVolumeSize_; }
    void SetMaxVolumeSize(int value) { maxVolumeSize_ = value; }
    int MinFreeVolumeSize() const { return minFreeVolumeSize_; }
    void SetMinFreeVolumeSize(int value) { minFreeVolumeSize_ = value; }
    bool ConfirmErase() const { return confirmErase_; }
    void SetConfirmErase(bool value) { confirmErase_ = value; }
    // How member names and comments are turned into text (see ZipText.h).
    CodePageOpts CodePage() const { return codePage_; }
    void SetCodePage(CodePageOpts value) { codePage_ = value; }
    DeleteOpts HowToDelete() const { return howToDelete_; }
    void SetHowToDelete(DeleteOpts value) { howToDelete_ = value; }
    // Always "1.0"; assigning it changes nothing.
    const std::string& VersionInfo() const { return versionInfo_; }
    void SetVersionInfo(const std::string&) {}

    // ---- Extraction through the unzip library (ZipComponentExtract.cpp)

    // ErrCode for a member the library found damaged ("crc error" in its text).
    static constexpr int CrcErrorCode = -999;

    // Extracts the members named in FileSpecs (matched ignoring ASCII case,
    // "\" and "/" alike) into the current directory under their bare names,
    // loading the unzip library for the call when it is not loaded. The
    // outcome is in ErrCode, Message and ExtractedCount; FileSpecs is emptied
    // once the library call was prepared. Lets no exception out.
    void Extract();
    // True while an Extract runs; a nested Extract returns at once.
    bool Busy() const { return busy_; }
    // Set by a handler to ask the running extraction to stop; cleared at the
    // start and the end of Extract.
    bool CancelRequested() const { return cancelRequested_; }
    void SetCancelRequested(bool value) { cancelRequested_ = value; }
    // Members the last Extract wrote, as the library counted them.
    int ExtractedCount() const { return extractedCount_; }
    // The library's last non-zero error code, whole (ErrCode holds its low 8 bits).
    int LibraryErrCode() const { return libraryErrCode_; }
    // The byte total the library last announced.
    uint32_t TotalSize() const { return totalSize_; }

    // Loads the unzip library from DLLDirectory, or through the system's
    // search order when it is not there; failures are reported (10702 to
    // 10704) and leave it unloaded.
    void LoadUnzipLib();
    void UnloadUnzipLib();
    // The library's version, loading it for this call when needed; 0 when it
    // cannot be loaded.
    int UnzipLibVersion();

    // ---- Events (an empty one is skipped)

    // After every listing, also when the file did not exist or the listing failed.
    const TNotifyEvent& OnDirUpdate() const { return onDirUpdate_; }
    void SetOnDirUpdate(TNotifyEvent handler) { onDirUpdate_ = std::move(handler); }
    // Progress of an extraction.
    const TProgressEvent& OnProgress() const { return onProgress_; }
    void SetOnProgress(TProgressEvent handler) { onProgress_ = std::move(handler); }
    // Every reported message, with 0 as the code.
    const TMessageEvent& OnMessage() const { return onMessage_; }
    void SetOnMessage(TMessageEvent handler) { onMessage_ = std::move(handler); }

protected:
    // ---- Steps of the directory reader, for the operations built on it

    // Reads the central directory of ZipFilename into the entries; every
    // failure ends in ErrCode and Message. Fires OnDirUpdate at the end.
    void List();
    // Opens the working file and finds its end record, leaving it in
    // EndRecord(). Strict: every failure raises EZipComponent. Not strict: a
    // file that cannot be opened is reported (11002) and, like a file without
    // an end record, gives false.
    bool LocateEndRecord(bool strict);
    // Closes the open volume and opens volume number volume of a set: on a
    // fixed or network drive the file of that number beside the set, on a
    // removable drive the disk labelled with it, asking the user to insert it.
    void OpenVolume(int volume);
    // Prompts for the wanted disk of a removable drive until the drive
    // answers (and at least once while NewVolumeWanted); returns the drive's
    // kind. A fixed or network drive is never prompted for.
    TDriveKind AskForVolume();

    const TEndRecord& EndRecord() const { return state_.EndRecord; }

    // Where a listing stands in its archive or set. A join inside Extract
    // reads its set into the same state, so ReadSpan keeps a copy of it and
    // puts it back when done.
    struct TListingState {
        // Number of the volume that holds the end record (this disk).
        int LastDisk = 0;
        // Volume now open; -1 asks for the last one.
        int CurrentVolume = 0;
        // The file actually read (differs from ZipFilename for numbered volumes).
        std::string WorkingFileName;
        // The set's last volume as named by the caller: the split form's
        // volumes are named after it.
        std::string SetName;
        TEndRecord EndRecord;
        std::string ArchiveComment;
        bool MultiVolume = false;
    };
    TListingState state_;
    // The open archive or volume; open only during an operation.
    TZipInput input_;
    uint64_t fileSize_ = 0;
    // Where the end record's comment ends: the archive's data ends here.
    uint64_t endOfZipData_ = 0;
    uint64_t endRecordPosition_ = 0;
    // Where the central directory ends: the end record, or the Zip64 end record.
    uint64_t directoryEnd_ = 0;
    // The offset the central directory was read from.
    int64_t dirOffset_ = 0;

private:
    struct TSpanMember;
    class TSpanWriter;

    IDriveFacts& Facts() { return driveFacts_ != nullptr ? *driveFacts_ : SystemDriveFacts(); }
    bool VolumeCheck(TDriveKind kind, int volume);
    std::string VolumePrompt() const;
    // The join itself: its set read, the joined archive written and put in place.
    void JoinSpan(const std::string& archive, std::string& output, TSpanWriter& out,
                  std::vector<TSpanMember>& table);
    // Reports the exception being handled; returns the result it stands for.
    TSpanResult ReportSpanFailure();
    void CreateSpanOutput(const std::string& output, TSpanWriter& out, std::string& finalName);
    // Puts the finished joined archive at finalName; returns that name.
    std::string PlaceSpanOutput(TSpanWriter& out, const std::string& finalName);
    void FindLastVolume();
    void SeekSpanDirectory();
    std::vector<TSpanMember> ReadSpanDirectory(uint64_t& byteTotal);
    void CopySpanMembers(std::vector<TSpanMember>& table, TSpanWriter& out);
    // Reads a local header (30 bytes) and its name, moving on to the next
    // volume when the last one ended between members.
    void ReadSpanLocalHeader(std::array<uint8_t, 30>& local, std::string& name);
    // Copies the member whose local header was read, its data and descriptor.
    void CopySpanMember(const std::array<uint8_t, 30>& local, const std::string& name,
                        const TSpanMember& member, TSpanWriter& out);
    // Returns where the directory starts in the output.
    uint64_t WriteSpanDirectory(const std::vector<TSpanMember>& table, TSpanWriter& out);
    void WriteSpanEndRecord(TSpanWriter& out, uint64_t directory);
    // Reads a central header of a set, moving on to the next volume after a
    // short read; fills header (46 bytes) and its name.
    void ReadSpanCentralHeader(std::array<uint8_t, 46>& header, std::string& name);
    // Reads count bytes, moving on to the next volume where one ends.
    void ReadSpanBytes(void* buffer, size_t count, int code);
    // Copies count bytes to out, moving on to the next volume where one ends;
    // code names the step when a read or write comes short.
    void CopySpanBytes(uint64_t count, int code, TSpanWriter& out);

    // Runs one public operation between two resets of ErrCode. Whatever it
    // reports is in ErrCode; an exception from an event handler that slips
    // through changes nothing of that and is dropped.
    template <class F> TOutcome Outcome(F operation);

    void RunExtraction();
    // What the library is asked to do with archive, as the options say.
    TUnzipRequest UnzipRequest(const std::string& archive);
    // Runs the library on request; what a handler raised inside it is reported.
    void CallUnzipLib(int version, const TUnzipRequest& request);
    // What the library is handed for a member name asked for: the stored
    // bytes of the listed member it names, or the name as given.
    std::string StoredSpec(const std::string& spec);
    // The library's callback: finds the component the record names.
    static int32_t UnzipCallbackEntry(UnzipCallbackInfo* info);
    int32_t UnzipCallback(const UnzipCallbackInfo& info);

    void ReadDirectory();
    // Reads the archive's first bytes: true (and MultiVolume) when they are
    // the marker that opens the first volume of a set.
    bool ReadFirstVolumeMarker();
    // Reads them if the listed directory does not make them plain.
    void SettleFirstVolumeMarker();
    void ReadCentralHeaders();
    bool ReadCentralHeader(ZipDirEntry& entry);
    std::string ReadBounded(uint64_t length, int shortReadId);
    void ApplyZip64EndRecord();
    [[noreturn]] void FailNoEndRecord(bool firstVolumeMarker, int labelDisk) const;
    void FireDirUpdate();

    IZipUi* ui_ = nullptr;
    std::string zipFilename_;
    // The members listed, shared with the listing kept for the next
    // component that lists the same unchanged file.
    struct TListing {
        std::vector<ZipDirEntry> Entries;
        // The first entry of each name: by its stored bytes, by its text, and
        // by its text folded as member specs are matched; made on first use.
        struct TIndex {
            std::unordered_map<std::string, size_t> Raw, Exact, Folded;
        };
        const TIndex& Index();

    private:
        std::optional<TIndex> index_;
    };
    std::shared_ptr<TListing> listing_ = std::make_shared<TListing>();
    // A clean listing of an ordinary archive, kept for the next listing of
    // the same file while it is unchanged (ZipComponentList.cpp).
    struct TKeptListing;
    static std::unique_ptr<TKeptListing>& Kept();
    // Whether the kept listing is of the file zipStatus_ tells, read as this
    // component reads.
    bool KeptListingFits() const;
    bool UseKeptListing();
    void KeepListing();
    // The first bytes of the open archive are still to be looked at.
    bool headPending_ = false;
    // Messages reported so far: a listing that reported one is not kept.
    uint64_t reports_ = 0;
    int errCode_ = 0;
    std::string message_;

    std::string driveRoot_;
    std::string volumeLabel_;
    TDriveKind driveKind_ = TDriveKind::Fixed;
    int64_t driveTotalSize_ = 0;

    bool verbose_ = false;
    bool trace_ = false;
    int addCompLevel_ = 9;
    AddOpts addOptions_;
    std::string extrBaseDir_;
    ExtrOpts extrOptions_;
    SFXOpts sfxOptions_{SFXOptsEnum::SFXCheckSize};
    std::vector<std::string> fileSpecs_;
    bool unattended_ = false;
    bool keepListedArchive_ = false;
    std::unique_ptr<TFileReader> listedArchive_;
    std::string password_;
    std::string sfxPath_ = "sfxstub.bin";
    std::string dllDirectory_ = ExecutableDirectory();
    OvrOpts sfxOverWriteMode_ = OvrOpts::OvrConfirm;
    std::string sfxCaption_ = "Self-extracting Archive";
    std::string sfxDefaultDir_;
    std::string sfxCommandLine_;
    std::string tempDir_;
    int keepFreeOnDisk1_ = 0;
    int maxVolumeSize_ = 0;
    int minFreeVolumeSize_ = 65536;
    bool confirmErase_ = true;
    CodePageOpts codePage_ = CodePageOpts::cpAuto;
    DeleteOpts howToDelete_ = DeleteOpts::htdAllowUndo;
    std::string versionInfo_ = "1.0";

    bool busy_ = false;
    bool cancelRequested_ = false;
    int extractedCount_ = 0;
    int libraryErrCode_ = 0;
    uint32_t totalSize_ = 0;
    // An exception a handler raised inside the library call, kept until it returns.
    std::exception_ptr callbackFailure_;

    IDriveFacts* driveFacts_ = nullptr;
    // The archive being listed, as its status said.
    TPathStatus zipStatus_;
    // A volume prompt must be shown even when the drive answers.
    bool newVolumeWanted_ = false;
    // Writes raise progress events only while members are copied.
    bool copying_ = false;

    TNotifyEvent onDirUpdate_;
    TProgressEvent onProgress_;
    TMessageEvent onMessage_;
};

} // namespace tabula
