// TFileReplacement on POSIX: open(O_EXCL), fsync, rename, and fsync of the folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

#include "base/errors.h"
#include "base/owned.h"
#include "platform/file_replacement.h"
#include "platform/leftovers.h"
#include "platform/platform.h"
#include "platform/posix_handles.h"

namespace marivane::platform {
namespace {

// Names taken by others (a leftover of a run that was killed, say) are passed over; this many
// in a row means something else is wrong.
constexpr int kNameAttempts = 100;

[[noreturn]] void Fail(const std::string& target, std::uint32_t code) {
  throw EWriteError(target, code, SystemErrorText(code));
}

[[noreturn]] void FailWithErrno(const std::string& target) {
  Fail(target, static_cast<std::uint32_t>(errno));
}

void FailIfInjected(const std::string& target, const TReplacementFault& fault,
                    TReplacementStep step) {
  if (const std::uint32_t code = fault.At(step)) Fail(target, code);
}

}  // namespace

struct TFileReplacement::TOpenFile {
  std::string path;
  std::string folder;  // for the flush of its entry after the rename
  TDescriptor fd;
  bool committed = false;

  ~TOpenFile() {
    fd.Reset();
    if (committed || path.empty()) return;
    ::unlink(path.c_str());
    ReleaseLeftover(path);
  }
};

TFileReplacement::TFileReplacement(const std::string& target, TReplacementFault fault)
    : target_(target), fault_(fault), file_(std::make_unique<TOpenFile>()) {
  FailIfInjected(target_, fault_, TReplacementStep::Create);
  // lstat: a symbolic link is replaced as a name, never followed to what it points at.
  struct stat existing {};
  const bool exists = ::lstat(target_.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode) && !S_ISDIR(existing.st_mode) &&
      !S_ISLNK(existing.st_mode))
    throw EWriteError(target_, 0, kNotRegularFileText);
  // A link to a folder stands for the folder, which is no file to replace: refused as the
  // folder itself would be.
  struct stat linked {};
  if (exists && S_ISLNK(existing.st_mode) && ::stat(target_.c_str(), &linked) == 0 &&
      S_ISDIR(linked.st_mode))
    Fail(target_, EISDIR);
  const bool keep_mode = exists && S_ISREG(existing.st_mode);
  // A write-protected file stays protected, as it would against an open for writing (root
  // passes, as it would there).
  if (keep_mode && ::access(target_.c_str(), W_OK) != 0) FailWithErrno(target_);

  const std::size_t slash = target_.rfind('/');
  const std::string prefix = slash == std::string::npos ? "" : target_.substr(0, slash + 1);
  file_->folder = prefix.empty() ? "." : prefix;
  RemoveAbandonedLeftovers(prefix, kTemporaryFilePrefix, kTemporaryFileSuffix, TLeftoverKind::File);
  const std::string start = prefix + kTemporaryFilePrefix + RunStamp();
  std::random_device random;
  file_->path = MakeHeldLeftover(TLeftoverKind::File, [&] {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
      char tail[16];
      std::snprintf(tail, sizeof tail, "%08x", static_cast<unsigned>(random()));
      const std::string path = start + tail + kTemporaryFileSuffix;
      // 0666: the system takes the umask off, as for any plain creation.
      file_->fd.Reset(
          ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
      if (file_->fd) return path;
      if (errno != EEXIST) FailWithErrno(target_);
    }
    FailWithErrno(target_);
  });
  // The permission bits only: a set-user-ID bit carried over to a file that is now ours (or
  // root's) would hand out rights its owner never gave.
  if (keep_mode && ::fchmod(file_->fd.Get(), existing.st_mode & 0777) != 0) FailWithErrno(target_);
}

TFileReplacement::~TFileReplacement() = default;

const std::string& TFileReplacement::TemporaryPath() const { return file_->path; }

void TFileReplacement::Write(std::span<const std::uint8_t> bytes) {
  FailIfInjected(target_, fault_, TReplacementStep::Write);
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(file_->fd.Get(), bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) FailWithErrno(target_);
    if (n == 0) Fail(target_, ENOSPC);  // nothing taken, no error given: no room left
    written += static_cast<std::size_t>(n);
  }
}

void TFileReplacement::Close() { file_->fd.Reset(); }

void TFileReplacement::Commit() {
  if (!file_->fd) {
    // Read-only serves: fsync does not need a descriptor open for writing.
    file_->fd.Reset(::open(file_->path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!file_->fd) FailWithErrno(target_);
  }
  // The data reaches the disk before the name points at it; otherwise a power cut soon after
  // could leave the target empty, which is what the rename is there to prevent.
  FailIfInjected(target_, fault_, TReplacementStep::Flush);
  if (::fsync(file_->fd.Get()) != 0) FailWithErrno(target_);
  if (::close(file_->fd.Detach()) != 0) FailWithErrno(target_);
  FailIfInjected(target_, fault_, TReplacementStep::Rename);
  if (::rename(file_->path.c_str(), target_.c_str()) != 0) FailWithErrno(target_);
  file_->committed = true;
  ReleaseLeftover(file_->path);
  // The folder's entry, so that the rename itself survives a power cut. Some file systems
  // refuse to flush a folder; the new file is in place all the same, so that is no failure.
  const TDescriptor folder(::open(file_->folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder) ::fsync(folder.Get());
}

}  // namespace marivane::platform
