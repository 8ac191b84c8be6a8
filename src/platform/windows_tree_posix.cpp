// A Windows partition mounted on Linux, as the install's seam: paths found part by part whatever
// their letter case, security as ntfs-3g's "system.ntfs_acl" where it is offered, and the swap
// as rename(2) and a flush of the folder. The running Windows is none here.
#include "platform/windows_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "base/errors.h"
#include "base/owned.h"
#include "platform/offline_windows.h"
#include "platform/platform.h"
#include "platform/posix_handles.h"
#include "platform/system_languages.h"

namespace marivane::platform {
namespace {

constexpr char kSystemFolder[] = "Windows/System32";
constexpr char kLanguageFileName[] = "winload.exe.mui";

[[noreturn]] void FailWithErrno() { throw OSError(static_cast<std::uint32_t>(errno)); }

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

void FlushFolderOf(const std::string& path) {
  // The folder's entry, so that a rename or a new name survives a power cut.
  const TDescriptor folder(::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder) ::fsync(folder.Get());
}

class TOfflineTree;

class TOfflineSwap final : public TSystemFileSwap {
 public:
  TOfflineSwap(TOfflineTree& tree, std::string target, TKeptSecurity kept)
      : tree_(tree), target_(std::move(target)), kept_(std::move(kept)) {}
  const TKeptSecurity& Kept() const override { return kept_; }
  // ntfs-3g maps no Windows ownership onto the rename: a writable folder is enough.
  void AllowRename() override {}
  void Rename(const std::string& replacement) override {
    if (::rename(replacement.c_str(), target_.c_str()) != 0) FailWithErrno();
    FlushFolderOf(target_);
  }
  // Nothing was changed on the old file: its descriptor went with it to its other names.
  void PutBackOldSecurity() override {}
  void SecureTarget(const TKeptSecurity& security, TNewOwner owner) override;

 private:
  TOfflineTree& tree_;
  std::string target_;
  TKeptSecurity kept_;
};

class TOfflineTree final : public TWindowsTree {
 public:
  explicit TOfflineTree(std::string mountpoint) : mountpoint_(std::move(mountpoint)) {
    char real[PATH_MAX];
    root_ = ::realpath(mountpoint_.c_str(), real) ? std::string(real) : mountpoint_;
  }

  bool Offline() const override { return true; }

  std::string LanguageFile(const std::string& language) override {
    CheckLanguage(language);
    return Resolve(std::string(kSystemFolder) + "/" + language + "/" + kLanguageFileName);
  }
  std::string BootLoader() override { return Resolve(std::string(kSystemFolder) + "/winload.exe"); }

  std::vector<std::string> Languages() override {
    std::vector<std::string> found;
    const TOfflinePath system = ResolveOfflinePath(mountpoint_, kSystemFolder);
    if (system.state != TOfflinePathState::Found) return found;
    const TFolderListing folder(::opendir(system.path.c_str()));
    if (!folder) return found;
    while (const dirent* entry = ::readdir(folder.Get())) {
      const std::string name = entry->d_name;
      if (!IsLanguageName(name)) continue;
      const TOfflinePath file =
          ResolveOfflinePath(mountpoint_, std::string(kSystemFolder) + "/" + name + "/" + kLanguageFileName);
      if (file.state == TOfflinePathState::Found && FileExists(file.path)) found.push_back(name);
    }
    return found;
  }

  std::string BackupFolder(const std::string& language, bool create) override {
    CheckLanguage(language);
    const TOfflinePath data = ResolveOfflinePath(mountpoint_, "ProgramData");
    if (data.state != TOfflinePathState::Found)
      throw Exception("The partition at " + mountpoint_ + " has no ProgramData folder" +
                      (data.problem.empty() ? "" : ": " + data.problem));
    const std::string relative = "ProgramData/Marivane/Backup/" + language;
    if (!create) return Resolve(relative);
    std::string made = "ProgramData";
    for (const std::string& part : {std::string("Marivane"), std::string("Backup"), language}) {
      made += "/" + part;
      const TOfflinePath folder = ResolveOfflinePath(mountpoint_, made);
      if (folder.state == TOfflinePathState::Refused) throw Exception(folder.problem);
      if (folder.state == TOfflinePathState::Missing) {
        if (::mkdir(folder.path.c_str(), 0755) != 0 && errno != EEXIST)
          throw Exception("The folder " + folder.path + " cannot be made: " +
                          SystemErrorText(static_cast<std::uint32_t>(errno)));
      }
    }
    return Resolve(relative);
  }

  bool KeepsFileSecurity() override { return false; }
  void SecureBackupFolders(const std::string&) override {}

  std::string WindowsName(const std::string& path) override {
    std::string name = path.starts_with(root_ + "/") ? path.substr(root_.size()) : path;
    for (char& c : name)
      if (c == '/') c = '\\';
    return name;
  }

  TKeptSecurity SecurityOf(const std::string& path) override {
    const TNtfsSecurity read = ReadNtfsSecurity(path);
    TKeptSecurity kept;
    if (read.state == TNtfsSecurityState::Failed) throw OSError(read.error);
    if (read.state == TNtfsSecurityState::Done) {
      kept.kind = TKeptSecurityKind::NtfsDescriptor;
      kept.descriptor = read.descriptor;
    }
    return kept;
  }

  // The descriptor goes over whole: an install's is the one the replaced file had, owner
  // TrustedInstaller included, so `owner` asks for nothing more.
  void SetSecurityOf(const std::string& path, const TKeptSecurity& security, TNewOwner) override {
    if (security.kind != TKeptSecurityKind::NtfsDescriptor) return;
    const TNtfsSecurity written = WriteNtfsSecurity(path, security.descriptor);
    if (written.state == TNtfsSecurityState::Failed) throw OSError(written.error);
  }

  std::vector<std::string> OtherNamesOf(const std::string&) override { return {}; }

  std::unique_ptr<TSystemFileSwap> BeginSwap(const std::string& target) override {
    return std::make_unique<TOfflineSwap>(*this, target, SecurityOf(target));
  }

 private:
  static void CheckLanguage(const std::string& language) {
    if (!IsLanguageName(language))
      throw Exception("\"" + language + "\" is not the name of a language folder");
  }

  std::string Resolve(const std::string& windows_path) {
    const TOfflinePath found = ResolveOfflinePath(mountpoint_, windows_path);
    if (found.state == TOfflinePathState::Refused) throw Exception(found.problem);
    return found.path;
  }

  std::string mountpoint_;
  std::string root_;
};

void TOfflineSwap::SecureTarget(const TKeptSecurity& security, TNewOwner owner) {
  tree_.SetSecurityOf(target_, security, owner);
}

}  // namespace

std::unique_ptr<TWindowsTree> RunningWindows() { return nullptr; }

std::unique_ptr<TWindowsTree> MountedWindows(const std::string& mountpoint) {
  return std::make_unique<TOfflineTree>(mountpoint);
}

void WriteFlushedFile(const std::string& path, std::span<const std::uint8_t> bytes) {
  const TDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (!file) {
    const int error = errno;
    throw EFCreateError(CannotCreateFileMessage(path, SystemErrorText(static_cast<std::uint32_t>(error))));
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(file.Get(), bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      const std::uint32_t code = written < 0 ? static_cast<std::uint32_t>(errno) : ENOSPC;
      throw EWriteError(path, code, SystemErrorText(code));
    }
    done += static_cast<std::size_t>(written);
  }
  if (::fsync(file.Get()) != 0) {
    const std::uint32_t code = static_cast<std::uint32_t>(errno);
    throw EWriteError(path, code, SystemErrorText(code));
  }
  FlushFolderOf(path);
}

bool RemoveFileIfThere(const std::string& path) {
  if (::unlink(path.c_str()) == 0) {
    FlushFolderOf(path);
    return true;
  }
  if (errno == ENOENT) return false;
  FailWithErrno();
}

}  // namespace marivane::platform
