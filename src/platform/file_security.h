// The security of a Windows system file, for replacing it and putting it back: the privileges
// that allow it, the owner and access list (DACL) as SDDL text, a change of owner, the one
// entry that allows the rename, and the file's other names (System32's files are hard links
// into the component store: one file, one security descriptor, two names).
//
// Under Wine (8.0) none of this is kept as Windows keeps it. Wine stores no descriptor per
// file: what it reports is made afresh each time from the file's Unix owner and mode. Every
// call below succeeds there, but an owner set is dropped (it stays the Wine user's SID,
// S-1-5-21-0-0-0-1000), a DACL set only changes the Unix mode bits that map onto its read,
// write and execute rights (DELETE and the rest map to none), and no DACL reads back as
// protected. A round trip therefore gives back the SDDL Wine reported before.
//
// Elsewhere than on Windows there is none of it: TSecuredFile and EnablePrivileges raise
// EOSError with the system's "not supported" code.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace marivane::platform {

inline constexpr char kTakeOwnershipPrivilege[] = "SeTakeOwnershipPrivilege";
inline constexpr char kRestorePrivilege[] = "SeRestorePrivilege";
inline constexpr char kBackupPrivilege[] = "SeBackupPrivilege";

// The service account that owns Windows' own files.
inline constexpr char kTrustedInstallerSid[] =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
inline constexpr char kAdministratorsSid[] = "S-1-5-32-544";

// Enables each privilege named ("SeRestorePrivilege") in this process's token, one at a time,
// and returns the names of those the token does not hold (AdjustTokenPrivileges succeeds then
// but says ERROR_NOT_ALL_ASSIGNED), in the order given: empty when all are enabled. Raises
// EOSError when the token cannot be opened or a name is no privilege's.
std::vector<std::string> EnablePrivileges(const std::vector<std::string>& names);

// A file's owner and DACL, as Windows' own text for them.
struct TFileSecurity {
  // "O:S-1-5-80-...D:P(A;;FA;;;S-1-5-80-...)(A;;0x1200a9;;;BA)": owner and DACL, no group or
  // SACL; "D:P" marks a protected DACL.
  std::string sddl;
  // The DACL takes no entries from the folder (SE_DACL_PROTECTED), as Windows' files have it.
  bool dacl_protected = false;
};

enum class TSecurityAccess {
  Read,    // READ_CONTROL: Security() only, which the file's readers may do
  Change,  // READ_CONTROL | WRITE_DAC | WRITE_OWNER
};

// One file held open for its security, with backup intent (so that an enabled
// SeRestorePrivilege grants what its DACL does not), sharing read, write and delete, so that
// the file can still be read and renamed over while it is held. Open it after
// EnablePrivileges: a privilege counts when the file is opened. Every failure raises EOSError
// with the system's code.
class TSecuredFile {
 public:
  explicit TSecuredFile(const std::string& path, TSecurityAccess access = TSecurityAccess::Change);
  ~TSecuredFile();
  TSecuredFile(TSecuredFile&&) noexcept;
  TSecuredFile& operator=(TSecuredFile&&) noexcept;

  TFileSecurity Security() const;
  // Sets the owner and the DACL that `sddl` gives (both must be there), as given: protected
  // when it says "D:P" (with PROTECTED_DACL_SECURITY_INFORMATION), entries marked inherited
  // ("ID") kept as they are, and nothing taken from the folder, so that the folder's
  // inheritable entries never merge in. An owner other than the caller (TrustedInstaller)
  // needs SeRestorePrivilege enabled.
  void SetSecurity(const std::string& sddl);
  // Sets only the owner, by its SID ("S-1-5-32-544").
  void SetOwner(const std::string& sid);
  // Makes Administrators the owner (SeTakeOwnershipPrivilege), then adds one entry that
  // grants Administrators DELETE after the DACL's explicit entries, keeping its protection:
  // ownership alone allows changing the DACL, not the rename over the file.
  void TakeOwnershipForDelete();

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

// SetSecurity for the file at `path`, opened for Change.
void SetFileSecurity(const std::string& path, const std::string& sddl);

// Whether the files and folders at `path` keep a security descriptor of their own, so that who
// may change them can be told from it and set: where Windows' volume says so
// (FILE_PERSISTENT_ACLS, as NTFS does, or where the volume cannot be asked). Never under Wine,
// whatever its volumes say: it makes each descriptor up from the Unix mode, the Wine user its
// owner (see above). Never elsewhere than on Windows.
bool KeepsFileSecurity(const std::string& path);

struct THardLinks {
  std::uint32_t count = 0;  // the file's names, `path` included
  // The other names, as full paths ("C:\Windows\winsxs\...\winload.exe.mui"); none where the
  // system cannot list them (before Vista, on Linux, and under Wine 8.0, whose kernel32 lacks
  // FindFirstFileNameW).
  std::optional<std::vector<std::string>> others;
};

// The names of the file at `path`. Raises EOSError when it cannot be opened.
THardLinks HardLinksOf(const std::string& path);

}  // namespace marivane::platform
