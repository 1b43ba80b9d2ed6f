#pragma once

#include <string>

namespace tabula {

// The temporary files and directories this process has made and not yet
// removed, for a program that must end at once (a second interrupt): it
// removes them before it goes, so nothing private and nothing half-written
// stays behind. Registering is cheap and safe from any thread.
namespace EmergencyCleanup {

// A private directory, removed with everything in it.
void AddDirectory(const std::string& path);
// A temporary file, removed.
void AddFile(const std::string& path);
// Forgets a path once its owner has removed it or put it in place.
void Remove(const std::string& path);

// Removes every registered path; meant to run just before the process ends
// while other threads may still be working in those places.
void RunNow();

} // namespace EmergencyCleanup

} // namespace tabula
