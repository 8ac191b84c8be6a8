// The running Windows as the install's seam: System32 and %ProgramData% from the system's own
// records, security as SDDL through TSecuredFile, and the swap as Windows' files need it:
// privileges, the target held open for its security only, Administrators given ownership and
// DELETE, MoveFileEx writing through, and the old file's security put back through the held
// handle. A partition mounted offline is Linux's business.
#include "platform/windows_tree.h"

#include <windows.h>

#include <algorithm>
#include <optional>

#include "base/errors.h"
#include "platform/file_security.h"
#include "platform/platform.h"
#include "platform/system_facts.h"
#include "platform/system_languages.h"
#include "platform/win32_handles.h"

namespace marivane::platform {
namespace {

[[noreturn]] void FailWithLastError() { throw OSError(GetLastError()); }

// What the backup's folders get: Administrators their owner; SYSTEM and Administrators full
// control, Users read and execute, passed on to the files and folders made in them
// (OICI); protected (P), so that ProgramData's entries, which let Users add files and
// folders, are not inherited, and any entry a user set is gone.
constexpr char kBackupFolderSddl[] =
    "O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// The owner and DACL to give a file: `security`'s, with TrustedInstaller as the owner when
// `owner` says so ("O:...D:P(...)" becomes "O:S-1-5-80-...D:P(...)").
std::string SddlFor(const TKeptSecurity& security, TNewOwner owner) {
  if (owner == TNewOwner::AsKept) return security.sddl;
  const std::size_t dacl = security.sddl.find("D:", 2);
  if (dacl == std::string::npos) throw Exception("a kept access list without its DACL: " + security.sddl);
  return std::string("O:") + kTrustedInstallerSid + security.sddl.substr(dacl);
}

class TLiveSwap final : public TSystemFileSwap {
 public:
  TLiveSwap(std::string target, TSecuredFile file)
      : target_(std::move(target)), file_(std::move(file)) {
    kept_.kind = TKeptSecurityKind::Sddl;
    kept_.sddl = file_->Security().sddl;
    other_names_ = HardLinksOf(target_).others.value_or(std::vector<std::string>{});
  }
  const TKeptSecurity& Kept() const override { return kept_; }
  void AllowRename() override { file_->TakeOwnershipForDelete(); }
  void Rename(const std::string& replacement) override {
    if (Move(replacement)) return;
    // Wine's server refuses to rename over a file that is open at all, whatever it shares
    // (Windows allows it where every handle shares delete): let the handle go and try once
    // more. The old file's security then goes back through its other names.
    const DWORD refused = GetLastError();
    if ((refused != ERROR_ACCESS_DENIED && refused != ERROR_SHARING_VIOLATION) || !file_)
      throw OSError(refused);
    file_.reset();
    if (!Move(replacement)) FailWithLastError();
  }
  void PutBackOldSecurity() override {
    if (file_) {
      file_->SetSecurity(kept_.sddl);
    } else if (!renamed_) {
      SetFileSecurity(target_, kept_.sddl);
    } else {
      for (const std::string& name : other_names_) SetFileSecurity(name, kept_.sddl);
    }
  }
  void SecureTarget(const TKeptSecurity& security, TNewOwner owner) override {
    if (security.kind == TKeptSecurityKind::Sddl) SetFileSecurity(target_, SddlFor(security, owner));
  }

 private:
  bool Move(const std::string& replacement) {
    renamed_ = MoveFileExA(replacement.c_str(), target_.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    return renamed_;
  }

  std::string target_;
  std::optional<TSecuredFile> file_;  // held from the start to the end of the swap
  TKeptSecurity kept_;
  std::vector<std::string> other_names_;
  bool renamed_ = false;
};


// Taking a file's ownership and writing its security, which an administrator may do only with
// these two privileges enabled.
void RequireOwnershipPrivileges() {
  const std::vector<std::string> missing = EnablePrivileges({kTakeOwnershipPrivilege, kRestorePrivilege});
  if (!missing.empty())
    throw Exception("Windows did not give this program the privilege " + missing.front() +
                    ": run it from an administrator Command Prompt");
}

class TLiveTree final : public TWindowsTree {
 public:
  bool Offline() const override { return false; }

  std::string LanguageFile(const std::string& language) override {
    const std::string path = SystemLanguageFilePath(language);
    if (path.empty()) throw Exception("\"" + language + "\" is not the name of a language folder");
    return path;
  }
  std::string BootLoader() override {
    const std::string path = SystemBootLoaderPath();
    if (path.empty()) throw Exception("Windows does not say where its system folder is");
    return path;
  }
  std::vector<std::string> Languages() override {
    std::vector<std::string> names;
    for (const TSystemLanguageFile& file : SystemLanguageFiles()) names.push_back(file.language);
    return names;
  }

  std::string BackupFolder(const std::string& language, bool create) override {
    return WalkBackupFolder(language, create ? TWalk::Make : TWalk::Find);
  }

  bool KeepsFileSecurity() override {
    if (!keeps_security_) keeps_security_ = platform::KeepsFileSecurity(CommonAppDataFolder());
    return *keeps_security_;
  }

  void SecureBackupFolders(const std::string& language) override {
    WalkBackupFolder(language, TWalk::Secure);
  }

  std::string WindowsName(const std::string& path) override { return path; }

  TKeptSecurity SecurityOf(const std::string& path) override {
    TKeptSecurity kept;
    kept.kind = TKeptSecurityKind::Sddl;
    kept.sddl = TSecuredFile(path, TSecurityAccess::Read).Security().sddl;
    return kept;
  }
  void SetSecurityOf(const std::string& path, const TKeptSecurity& security, TNewOwner owner) override {
    if (security.kind == TKeptSecurityKind::Sddl) SetFileSecurity(path, SddlFor(security, owner));
  }
  std::vector<std::string> OtherNamesOf(const std::string& path) override {
    return HardLinksOf(path).others.value_or(std::vector<std::string>{});
  }

  std::unique_ptr<TSystemFileSwap> BeginSwap(const std::string& target) override {
    // A privilege counts when the file is opened: enable them first.
    RequireOwnershipPrivileges();
    return std::make_unique<TLiveSwap>(target, TSecuredFile(target, TSecurityAccess::Change));
  }

 private:
  enum class TWalk { Find, Secure, Make };

  // %ProgramData%\Marivane\Backup\<language>, each part made or secured as `walk` says, from
  // the top down: a folder is secured before anything is made in it.
  std::string WalkBackupFolder(const std::string& language, TWalk walk) {
    if (!IsLanguageName(language))
      throw Exception("\"" + language + "\" is not the name of a language folder");
    const std::string data = CommonAppDataFolder();
    if (data.empty()) throw Exception("Windows does not say where its ProgramData folder is");
    const bool secure = walk != TWalk::Find && KeepsFileSecurity();
    if (secure) {
      // Ownership of a folder a user made, and its DACL, are an administrator's to take only
      // with these privileges, which count from the moment a folder is opened.
      RequireOwnershipPrivileges();
    }
    std::string folder = data;
    for (const std::string& part : {std::string("Marivane"), std::string("Backup"), language}) {
      folder += "\\" + part;
      const DWORD attributes = GetFileAttributesA(folder.c_str());
      if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (walk != TWalk::Make) continue;
        CreateFolder(folder);
        if (!DirectoryExists(folder)) throw Exception("The folder " + folder + " cannot be made");
      } else if (walk != TWalk::Find && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        // A junction made by a user would lead the securing, and the backup, elsewhere.
        throw Exception(folder + " is a link to another place, not a folder of its own: move it "
                        "elsewhere, so that the backup can be kept there");
      }
      if (secure) SetFileSecurity(folder, kBackupFolderSddl);
    }
    return folder;
  }

  std::optional<bool> keeps_security_;
};

}  // namespace

std::unique_ptr<TWindowsTree> RunningWindows() { return std::make_unique<TLiveTree>(); }
std::unique_ptr<TWindowsTree> MountedWindows(const std::string&) { return nullptr; }

void WriteFlushedFile(const std::string& path, std::span<const std::uint8_t> bytes) {
  const HANDLE created = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
  if (created == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    throw EFCreateError(CannotCreateFileMessage(path, SystemErrorText(code)));
  }
  const TFileHandle file(created);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(file.Get(), bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      const DWORD code = GetLastError();
      throw EWriteError(path, code, SystemErrorText(code));
    }
    done += written;
  }
  if (!FlushFileBuffers(file.Get())) {
    const DWORD code = GetLastError();
    throw EWriteError(path, code, SystemErrorText(code));
  }
}

bool RemoveFileIfThere(const std::string& path) {
  if (DeleteFileA(path.c_str())) return true;
  const DWORD code = GetLastError();
  if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return false;
  throw OSError(code);
}

}  // namespace marivane::platform
