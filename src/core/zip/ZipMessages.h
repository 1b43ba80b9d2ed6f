#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tabula {

// The zip component's message texts by id: the one place where a code and
// its text live together. Ids name the situations; the texts are shown to the
// user and stored in TZipComponent::Message.
namespace ZipMsg {
inline constexpr int MemoryExhausted = 10103;
inline constexpr int NoZipFile = 10102;
inline constexpr int Copying = 10105;
inline constexpr int SeekError = 10201;
inline constexpr int ListUnknownError = 10202;
inline constexpr int StructureWarning = 10203;
inline constexpr int GarbageWarning = 10204;
inline constexpr int Zip64TooLarge = 10205;
inline constexpr int LibraryAbort = 10501;
inline constexpr int UnattendedWarning = 10502;
inline constexpr int LibraryLoaded = 10701;
inline constexpr int ExecMissing = 10702;
inline constexpr int VersionMissing = 10703;
inline constexpr int LibraryNotFound = 10704;
inline constexpr int InputMissing = 11001;
inline constexpr int OpenFailed = 11002;
inline constexpr int DriveUndefined = 11004;
inline constexpr int PromptFailed = 11006;
inline constexpr int UserCancelled = 11007;
inline constexpr int EndSeekError = 11008;
inline constexpr int OutputCreateFailed = 11009;
inline constexpr int EndReadError = 11011;
inline constexpr int LocalHeaderRead = 11012;
inline constexpr int CentralHeaderRead = 11013;
inline constexpr int LocalSignature = 11014;
inline constexpr int CentralSignature = 11015;
inline constexpr int LocalNameRead = 11016;
inline constexpr int CentralNameRead = 11017;
inline constexpr int LocalExtraRead = 11018;
inline constexpr int CentralExtraRead = 11019;
inline constexpr int DescriptorCopy = 11020;
inline constexpr int DataRead = 11021;
inline constexpr int FileCommentRead = 11022;
inline constexpr int ArchiveCommentRead = 11023;
inline constexpr int SpanUnknownError = 11024;
inline constexpr int UnattendedSpanning = 11025;
inline constexpr int LocalNotInTable = 11026;
inline constexpr int TempFileFailed = 11027;
inline constexpr int LocalHeaderWrite = 11028;
inline constexpr int CentralHeaderWrite = 11029;
inline constexpr int EndRecordWrite = 11030;
inline constexpr int SpanMarkerRead = 11031;
inline constexpr int InsertLastDisk = 11033;
inline constexpr int NotZipArchive = 11036;
inline constexpr int FirstDiskOfSet = 11037;
inline constexpr int NthDiskOfSet = 11038;
inline constexpr int FirstFileOfSet = 11045;
} // namespace ZipMsg

// The stored text of message id, or nothing when the table has none.
std::optional<std::string_view> FindZipMessage(int id);

// The text of message id; for an id without a text, the fixed notice that the
// message is missing, naming the id.
std::string ZipMessageText(int id);

// True when id has a text; a missing text also makes formatting skip it.
bool HasZipMessage(int id);

// Fills a message format: each "%d" or "%.1d" takes the next integer, "%s" the
// next text, "%%" gives "%". A directive without an argument stays as written.
using TZipFormatArg = std::variant<int64_t, std::string>;
std::string FormatZipText(std::string_view format, const std::vector<TZipFormatArg>& args);

} // namespace tabula
