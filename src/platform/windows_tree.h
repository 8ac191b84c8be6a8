// The Windows an install changes: the one running this program, or a partition mounted on
// Linux. The install and the restore take the same steps on both (src/builder/
// boot_screen_install.cpp); what differs between them sits behind this one seam: where the
// files are, how a file's security is kept and put back, and how one file takes another's
// place without its old content being opened for writing.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace marivane::platform {

enum class TKeptSecurityKind {
  None,            // the file system keeps none (a plain folder offline, a test's tree)
  Sddl,            // Windows' owner and DACL as SDDL text
  NtfsDescriptor,  // offline: the whole NTFS descriptor as ntfs-3g gives it
};

struct TKeptSecurity {
  TKeptSecurityKind kind = TKeptSecurityKind::None;
  std::string sddl;                      // Sddl: "O:S-1-5-80-...D:P(A;;FA;;;S-1-5-80-...)..."
  std::vector<std::uint8_t> descriptor;  // NtfsDescriptor: self-relative

  // One line for a record: "none", "sddl:O:...", "ntfs:0100..." (hex).
  std::string Text() const;
  // Back from Text(); raises Exception for a line that is none of them.
  static TKeptSecurity FromText(const std::string& text);
};

enum class TNewOwner {
  AsKept,            // the kept security whole, owner and all (a restore's original)
  TrustedInstaller,  // the kept DACL with TrustedInstaller as the owner (an install's file)
};

// One replacement of a system file by a complete file beside it. Made before anything changes,
// it holds what the later steps need: on Windows the target opened for READ_CONTROL|WRITE_DAC|
// WRITE_OWNER (never for writing), so that the old file's security can be put back through it
// once the old file has lost this name and lives on only as the component store's copy.
class TSystemFileSwap {
 public:
  virtual ~TSystemFileSwap() = default;
  // What the target's security was when the swap began.
  virtual const TKeptSecurity& Kept() const = 0;
  // Makes the rename possible: Administrators take ownership and get DELETE on the target
  // (Windows); nothing offline, where the driver's own rules apply.
  virtual void AllowRename() = 0;
  // Renames `replacement` over the target, through to the disk before it returns.
  virtual void Rename(const std::string& replacement) = 0;
  // The old file's kept owner and DACL put back through the held handle: after the rename, on
  // the file that now lives on under its other names; without the rename, on the target.
  virtual void PutBackOldSecurity() = 0;
  // The file now at the target gets `security` as `owner` says.
  virtual void SecureTarget(const TKeptSecurity& security, TNewOwner owner) = 0;
};

class TWindowsTree {
 public:
  virtual ~TWindowsTree() = default;
  virtual bool Offline() const = 0;
  // System32\<language>\winload.exe.mui, whether it exists or not. Raises Exception saying why
  // there is no such path (a language that is no folder name, a part that may not be followed).
  virtual std::string LanguageFile(const std::string& language) = 0;
  // System32\winload.exe, whether it exists or not; raises as LanguageFile does.
  virtual std::string BootLoader() = 0;
  // The folders of System32 that hold a winload.exe.mui, by name.
  virtual std::vector<std::string> Languages() = 0;
  // ProgramData\Marivane\Backup\<language>, made with its parents when `create` says so. Raises
  // Exception when it cannot be found or made. Where files keep their own security, each of
  // the three folders made or found is secured (SecureBackupFolders) before anything is
  // written into it.
  virtual std::string BackupFolder(const std::string& language, bool create) = 0;
  // Whether files here keep a security descriptor of their own, so that a backup can be
  // secured and who may have changed it be told: on the running Windows, where its volume
  // keeps one (not under Wine: see KeepsFileSecurity). Offline not: what an ntfs-3g
  // partition's folders get when made from Linux depends on how it is mounted, and a backup
  // made there would be judged by descriptors this program did not choose.
  virtual bool KeepsFileSecurity() = 0;
  // Where files keep their own security: Marivane, Backup and <language>, those that exist,
  // owned by Administrators with a protected DACL (SYSTEM and Administrators full control,
  // Users read and execute, passed on to files and folders), so that nothing a user set there
  // survives. Refuses (Exception) a part that is a link to elsewhere. Elsewhere: nothing.
  virtual void SecureBackupFolders(const std::string& language) = 0;
  // How the user finds `path` on that Windows: "C:\Windows\System32\en-US\winload.exe.mui";
  // offline the path from the partition's root with backslashes, "\Windows\System32\...".
  virtual std::string WindowsName(const std::string& path) = 0;
  // The security of the file at `path` as this tree keeps it. Raises EOSError.
  virtual TKeptSecurity SecurityOf(const std::string& path) = 0;
  // `security` given to the file at `path` (owner as `owner` says). Raises EOSError.
  virtual void SetSecurityOf(const std::string& path, const TKeptSecurity& security,
                             TNewOwner owner) = 0;
  // The target's other names (the component store's), for a later run that must put the old
  // file's security back after this one was stopped; empty where the system cannot list them.
  virtual std::vector<std::string> OtherNamesOf(const std::string& path) = 0;
  // Begins replacing `target`. Raises EOSError when the system refuses what the swap needs
  // (privileges, the open for security).
  virtual std::unique_ptr<TSystemFileSwap> BeginSwap(const std::string& target) = 0;
};

// The running Windows; null elsewhere than on Windows.
std::unique_ptr<TWindowsTree> RunningWindows();
// A partition mounted at `mountpoint` (checked with InspectOfflineVolume by the caller); null
// on Windows, which has no such mounts.
std::unique_ptr<TWindowsTree> MountedWindows(const std::string& mountpoint);

// Creates `path`, which must not exist, writes `bytes` and flushes them to the disk before
// returning. Raises EFCreateError or EWriteError with the system's code.
void WriteFlushedFile(const std::string& path, std::span<const std::uint8_t> bytes);
// Removes the file at `path`; false when there was none. Raises EOSError when it cannot.
bool RemoveFileIfThere(const std::string& path);

}  // namespace marivane::platform
