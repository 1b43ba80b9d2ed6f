#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tabula {

// The temporary files and directories this process has made and not yet
// removed, for a program that must end at once (a second interrupt): it
// removes them before it goes, so nothing private and nothing half-written
// stays behind. Registering is cheap and safe from any thread.
namespace EmergencyCleanup {

// A temporary file, removed.
void AddFile(const std::string& path);
// Calls make, which creates one directory (or file) and returns its path, or
// "" when it made none, and registers that path in the same step: no
// RunNowAndExit can come between the making and the registering, so nothing
// is ever made and left behind. Returns make's answer.
std::string AddDirectoryMadeBy(const std::function<std::string()>& make);
std::string AddFileMadeBy(const std::function<std::string()>& make);
// Forgets a path once its owner has removed it or put it in place.
void Remove(const std::string& path);

// Removes every registered path; meant to run just before the process ends
// while other threads may still be working in those places.
void RunNow();
// RunNow, then writes farewell to the standard error stream and ends the
// process with status. The registry stays held to the end, so another thread
// cannot make and register a path after the removal.
[[noreturn]] void RunNowAndExit(int status, std::string_view farewell);

} // namespace EmergencyCleanup

} // namespace tabula
