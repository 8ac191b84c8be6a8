// A Windows partition that is not running, mounted read-write on Linux (by ntfs-3g, or a
// folder laid out like one): its paths found part by part whatever their letter case, its files'
// NTFS security where the driver offers it, and whether it can be reached at all.
//
// Windows has none of this: there the functions refuse (NotAFolder, Refused, NotOffered).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace marivane::platform {

// --- Paths ---

enum class TOfflinePathState {
  Found,    // every part exists; `path` is the file or folder itself
  Missing,  // a part does not exist; `path` is where it would be, for making it
  Refused,  // a part may not be followed; `problem` says which and why
};

struct TOfflinePath {
  TOfflinePathState state = TOfflinePathState::Refused;
  // Found: the real path, with no link left in it. Missing: the parts that exist resolved so,
  // and the rest as asked, joined with "/".
  std::string path;
  std::string problem;  // Missing and Refused: the part and what is wrong with it
};

// Finds `windows_path` ("Windows\System32\en-US\winload.exe.mui", with "\" or "/" between
// parts) under `mountpoint`, one part at a time, letter case ignored (a Windows upgraded from
// XP has "WINDOWS"). Refused: a part that is "." or "..", two entries that differ only in
// letter case (NTFS can hold both; which would Windows mean?), a link that leads outside
// the partition or nowhere, another file system mounted on the way, a file where a folder
// must be, or a mountpoint that is no folder. Letter case is compared for ASCII letters; any
// other byte must match as it is.
TOfflinePath ResolveOfflinePath(const std::string& mountpoint, const std::string& windows_path);

// --- NTFS security ---

enum class TNtfsSecurityState {
  Done,        // read or written
  NotOffered,  // the file system keeps no NTFS security (not ntfs-3g, a plain folder)
  Failed,      // the driver refused; `error` is its errno value
};

struct TNtfsSecurity {
  TNtfsSecurityState state = TNtfsSecurityState::Failed;
  // Read: the file's security descriptor, self-relative, as NTFS holds it (owner, group, DACL,
  // SACL), from ntfs-3g's "system.ntfs_acl" extended attribute.
  std::vector<std::uint8_t> descriptor;
  std::uint32_t error = 0;
};

TNtfsSecurity ReadNtfsSecurity(const std::string& path);
// Gives the file at `path` the descriptor `descriptor` (as ReadNtfsSecurity gave it for
// another file); ntfs-3g checks it and refuses one that is not well formed (EINVAL).
TNtfsSecurity WriteNtfsSecurity(const std::string& path, std::span<const std::uint8_t> descriptor);

// --- The partition ---

enum class TOfflineVolumeState {
  Usable,           // a folder with something in it, writable
  ReadOnly,         // mounted read-only (ntfs-3g does so for a hibernated Windows)
  Missing,          // nothing at that path
  NotAFolder,       // a file or a device, not where a partition is mounted
  Empty,            // an empty folder on which nothing is mounted: the partition is not mounted
  BitLockerLocked,  // a partition (or an image of one) that BitLocker has encrypted
  DislockerView,    // dislocker's unlocked view: its dislocker-file must be mounted in turn
};

struct TOfflineVolume {
  TOfflineVolumeState state = TOfflineVolumeState::Missing;
  std::string file_system;  // the mount's type, "fuseblk", "ntfs3", "ext4"; empty if unknown
};

// What lies at `mountpoint`. A partition that BitLocker has locked cannot be mounted at all, so
// from a folder it shows as Empty; named as the device (or an image), its first sector says so.
TOfflineVolume InspectOfflineVolume(const std::string& mountpoint);

enum class TBootSectorKind { Ntfs, BitLocker, Other };

// The kind of file system a partition's first sector announces: the 8 bytes at offset 3 are
// "NTFS    " for NTFS and "-FVE-FS-" for a volume BitLocker has encrypted.
TBootSectorKind BootSectorKind(std::span<const std::uint8_t> first_sector);

}  // namespace marivane::platform
