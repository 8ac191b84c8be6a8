// What a run leaves for a while in places it shares: its private working folders under the
// temporary folder and the temporary file beside an output. Each name says which process made
// it, "PREFIX<id>-<start>-XXXXXX", the id and start time of the process as the system counts
// them, so that a later run can prove one abandoned (its process is gone, or the id now
// belongs to a process that started at another time) and remove it. An interrupt (SIGINT,
// SIGTERM, SIGHUP) removes the run's own before it ends the run.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace marivane::platform {

enum class TLeftoverKind { Folder, File };

// The middle of this process's names: "<id>-<start>-".
std::string RunStamp();

// Makes a leftover through `make`, which returns its path or an empty string for none, and
// holds it, so that an interrupt removes it: an interrupt that comes meanwhile waits until it
// is held. Returns what `make` returned.
std::string MakeHeldLeftover(TLeftoverKind kind, const std::function<std::string()>& make);
// A leftover that is gone, or no longer one (renamed into place), is held no more.
void ReleaseLeftover(const std::string& path);

// Removes from `folder` (a path to which a name is appended as it is: a folder with its
// separator, or empty for the current one) every entry named `prefix`, a stamp of a process
// that has ended, a tail of letters and digits and `suffix`, that is of `kind` (a folder, or a
// plain file; never a link) and belongs to this user. Anything else stays, whatever its name.
void RemoveAbandonedLeftovers(const std::string& folder, const std::string& prefix,
                              const std::string& suffix, TLeftoverKind kind);

// Once, first thing in main, before any other thread starts: SIGINT, SIGTERM and SIGHUP then
// remove the held leftovers and end the program by the same signal. Nothing on Windows, where
// the next run clears what a killed one left.
void RemoveLeftoversOnInterrupt();

// Removes every held leftover and holds the lock on them for good, so that nothing is made
// and held any more: for the interrupt, which then ends the program.
void RemoveHeldLeftoversForGood();

// --- Per platform (leftovers_posix.cpp, leftovers_win32.cpp) ---

struct TProcessStamp {
  unsigned long long id = 0;
  unsigned long long start = 0;  // 0: the system did not say
};
TProcessStamp CurrentProcessStamp();
// True only when the system shows that process `stamp.id` ended: no such process, or one that
// started at another time. A process the system will not tell about counts as running.
bool ProcessHasEnded(const TProcessStamp& stamp);
// The names in `folder` (as for RemoveAbandonedLeftovers), without "." and "..".
std::vector<std::string> FolderEntryNames(const std::string& folder);
// Whether `path` is of `kind`, no link, and owned by the user this process runs as.
bool IsOwnLeftover(const std::string& path, TLeftoverKind kind);
void RemoveLeftover(const std::string& path, TLeftoverKind kind);

}  // namespace marivane::platform
