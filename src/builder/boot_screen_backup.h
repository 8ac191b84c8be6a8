// What an install keeps of the file it replaces, in the backup folder of its language
// (%ProgramData%\Marivane\Backup\<language>, offline the same under the partition's ProgramData):
// the original byte for byte, the record of it, the journal of a run in progress and
// RESTORE.CMD, the way back without this program. The original and its record are written
// once, by the first install, and never overwritten; the backup counts as complete only when
// the record is there and the original's SHA-256 is the one it records, so that a run stopped
// while making it leaves none rather than half of one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/windows_tree.h"

namespace marivane {

inline constexpr char kBackupOriginalName[] = "winload.exe.mui";
inline constexpr char kBackupRecordName[] = "original.txt";
inline constexpr char kBackupJournalName[] = "journal.txt";
inline constexpr char kRestoreScriptName[] = "RESTORE.CMD";

struct TBackupRecord {
  std::string sha256;        // the original's, lower-case hex
  std::uint64_t size = 0;
  std::string windows_path;  // where it came from, as that Windows names it
  platform::TKeptSecurity security;  // its owner and protected DACL, or offline its descriptor
  std::string file_version;          // its version resource's file version, "6.0.6001.18000"
  std::string loader_version;        // winload.exe's file version then
  std::string windows_build;         // "6.0.6001"; offline the boot loader's version
  std::string signature;             // what Windows said of its signature
  std::string quiet_boot_before;     // "on", "off" or "unknown"

  std::string Text() const;
  // None for text that lacks a field or has one that cannot be read.
  static std::optional<TBackupRecord> FromText(const std::string& text);
};

// The record of the complete backup in `folder`; none when there is no backup there or only
// part of one.
std::optional<TBackupRecord> ReadCompleteBackup(const std::string& folder);

// The digest a record and a journal keep of a file's bytes: SHA-256 in lower-case hex.
std::string DigestText(const std::vector<std::uint8_t>& bytes);

// Joins a folder and a name with the separator the folder already uses.
std::string InFolder(const std::string& folder, const std::string& name);

// RESTORE.CMD for the backup of `language`: run from the recovery Command Prompt, it finds the
// Windows drive as its own drive (%~d0), checks it by the backup's record (the marker) and the
// recorded system folder, copies the original beside the target, renames it over the target,
// compares the result, and says what to do where a step fails. `system_folder` and
// `backup_folder` are paths from the drive's root ("\Windows\System32\en-US").
std::string RestoreScript(const std::string& language, const std::string& system_folder,
                          const std::string& backup_folder);

// "\Windows\System32\en-US" from "C:\Windows\System32\en-US\winload.exe.mui" (or from an
// offline name that starts at the root already): the folder, without drive and file name.
std::string FolderFromRoot(const std::string& windows_path);

}  // namespace marivane
