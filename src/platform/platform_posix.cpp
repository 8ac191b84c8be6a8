// The platform layer on Linux: plain POSIX files and the C library's error texts. There is no
// screen to draw on, so a displayable image only records that the system would take it.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "base/byte_reader.h"
#include "base/errors.h"
#include "base/owned.h"
#include "platform/leftovers.h"
#include "platform/platform.h"
#include "platform/posix_handles.h"

namespace marivane::platform {
namespace {

class TPosixFileStream final : public TStream {
 public:
  TPosixFileStream(TDescriptor fd, std::uint64_t size) : fd_(std::move(fd)), size_(size) {}

  std::size_t Read(void* buffer, std::size_t count) override {
    std::size_t total = 0;
    while (total < count) {
      const ssize_t n = ::read(fd_.Get(), static_cast<char*>(buffer) + total, count - total);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // a read error counts as the end of the data
      total += static_cast<std::size_t>(n);
    }
    position_ += total;
    return total;
  }
  std::uint64_t Size() const override { return size_; }
  std::uint64_t Position() const override { return position_; }

 private:
  TDescriptor fd_;
  std::uint64_t size_;
  std::uint64_t position_ = 0;
};

class TRecordedImage final : public TDisplayImage {};

class TPosixFileLock final : public TFileLock {
 public:
  TPosixFileLock(std::string path, TDescriptor fd) : path_(std::move(path)), fd_(std::move(fd)) {}
  // Unlinked while still locked: whoever opened the file meanwhile finds, once it has the
  // lock, that the name no longer leads to it, and starts again.
  ~TPosixFileLock() override { ::unlink(path_.c_str()); }

 private:
  std::string path_;
  TDescriptor fd_;
};

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Absolute, with "." and ".." taken out and the symbolic links of the part that exists
// followed; the rest as written.
std::filesystem::path Resolved(const std::string& path) {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(path, error);
  std::filesystem::path resolved = std::filesystem::weakly_canonical(absolute, error);
  if (error) resolved = absolute.lexically_normal();
  // "/tmp/mrvn/" ends in an empty name; it is the same folder as "/tmp/mrvn".
  if (resolved.has_relative_path() && resolved.filename().empty()) resolved = resolved.parent_path();
  return resolved;
}

// What OpenRegularFile gives for a pipe, a device or a socket; no errno value is negative.
constexpr int kNotRegularFile = -1;

// Opens a regular file for reading, or says why not (an errno value, or kNotRegularFile). The
// open itself must not wait: on a pipe nobody writes to, open() would block for ever, and so
// would a read from some devices. Only once fstat has seen a regular file are its reads made
// to block again, as plain reads of a file should.
int OpenRegularFile(const std::string& path, TDescriptor& fd, struct stat& info) {
  fd.Reset(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd || ::fstat(fd.Get(), &info) != 0) return errno;
  // Opening a folder succeeds here but not on Windows; either way it is no file to read.
  if (S_ISDIR(info.st_mode)) return EISDIR;
  if (!S_ISREG(info.st_mode)) return kNotRegularFile;
  const int flags = ::fcntl(fd.Get(), F_GETFL);
  if (flags < 0 || ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return errno;
  return 0;
}

// Writes all of `bytes`; the errno value of the failure, or 0.
int WriteAll(int fd, const std::uint8_t* bytes, std::size_t count) {
  std::size_t written = 0;
  while (written < count) {
    const ssize_t n = ::write(fd, bytes + written, count - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return ENOSPC;  // nothing taken, no error given: no room left
    written += static_cast<std::size_t>(n);
  }
  return 0;
}

}  // namespace

std::string SystemErrorText(std::uint32_t code) {
  char buffer[256];
  // The GNU variant may return a static string instead of filling the buffer.
  return strerror_r(static_cast<int>(code), buffer, sizeof buffer);
}

std::unique_ptr<TStream> OpenFileForReading(const std::string& path) {
  TDescriptor fd;
  struct stat info {};
  if (const int error = OpenRegularFile(path, fd, info)) {
    // 0: the system opened it; the refusal is ours.
    const auto code = static_cast<std::uint32_t>(error == kNotRegularFile ? 0 : error);
    throw EFOpenError(CannotOpenFileMessage(path, error == kNotRegularFile
                                                      ? std::string(kNotRegularFileText)
                                                      : SystemErrorText(code)),
                      code);
  }
  return std::make_unique<TPosixFileStream>(std::move(fd),
                                            static_cast<std::uint64_t>(info.st_size));
}

std::u16string ToWidePath(const std::string& path) {
  std::u16string wide;
  std::size_t i = 0;
  while (i < path.size()) {
    const auto lead = static_cast<unsigned char>(path[i]);
    const int extra = lead < 0x80 ? 0
                      : (lead & 0xE0) == 0xC0 ? 1
                      : (lead & 0xF0) == 0xE0 ? 2
                      : (lead & 0xF8) == 0xF0 ? 3
                                               : -1;
    char32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
    bool valid = extra >= 0 && i + static_cast<std::size_t>(extra) < path.size();
    for (int k = 1; valid && k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(path[i + static_cast<std::size_t>(k)]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    if (!valid || code > 0x10FFFF) {
      // Not UTF-8: the byte stands for itself, as Latin-1 would have it.
      wide.push_back(lead);
      ++i;
      continue;
    }
    i += static_cast<std::size_t>(extra) + 1;
    if (code >= 0x10000) {
      code -= 0x10000;
      wide.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      wide.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      wide.push_back(static_cast<char16_t>(code));
    }
  }
  return wide;
}

const char kPathSeparator = '/';

const char* TemporaryFolderVariable() {
  for (const char* name : {"TEMP", "TMPDIR"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return name;
  }
  return nullptr;
}

std::string TemporaryFolder() {
  const char* variable = TemporaryFolderVariable();
  return variable != nullptr ? std::getenv(variable) : "/tmp";
}

std::string ProgramFolder() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return "./";
  return self.parent_path().string() + "/";
}

const bool kTemporaryFolderIsShared = true;

std::string CreatePrivateFolder(const std::string& parent, const std::string& prefix) {
  const std::string folder = parent + kPathSeparator;
  RemoveAbandonedLeftovers(folder, prefix, "", TLeftoverKind::Folder);
  return MakeHeldLeftover(TLeftoverKind::Folder, [&] {
    std::string path = folder + prefix + RunStamp() + "XXXXXX";
    // mkdtemp makes the folder with mode 0700, under a name nobody had taken.
    return ::mkdtemp(path.data()) != nullptr ? path : std::string();
  });
}

bool IsPathUnder(const std::string& path, const std::string& folder) {
  if (folder == "/") return true;
  return path == folder || (path.size() > folder.size() && path[folder.size()] == '/' &&
                            path.compare(0, folder.size(), folder) == 0);
}

bool IsInsideFolder(const std::string& path, const std::string& folder) {
  const std::filesystem::path whole = Resolved(path);
  const std::filesystem::path base = Resolved(folder);
  if (IsPathUnder(whole.string(), base.string())) return true;
  // The same folder under another name: a bind mount, or a link the resolution could not see.
  struct stat wanted {};
  if (::stat(folder.c_str(), &wanted) != 0) return false;
  for (std::filesystem::path up = whole;; up = up.parent_path()) {
    struct stat here {};
    if (::stat(up.c_str(), &here) == 0 && SameFile(here, wanted)) return true;
    if (!up.has_relative_path()) return false;
  }
}

std::unique_ptr<TFileLock> TryLockFile(const std::string& path) {
  const auto fail = [&path](int error) {
    return EFCreateError(CannotCreateFileMessage(path, SystemErrorText(static_cast<std::uint32_t>(error))));
  };
  // Each round ends with the lock on the file the name leads to, or starts again because the
  // holder before us unlinked it as it let go. The bound only keeps a name that somebody
  // keeps replacing from holding us for ever.
  for (int round = 0; round < 100; ++round) {
    TDescriptor fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!fd) throw fail(errno);
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
      if (errno == EWOULDBLOCK) return nullptr;
      if (errno == EINTR) continue;
      throw fail(errno);
    }
    struct stat held {};
    struct stat named {};
    if (::fstat(fd.Get(), &held) == 0 && ::lstat(path.c_str(), &named) == 0 && SameFile(held, named))
      return std::make_unique<TPosixFileLock>(path, std::move(fd));
  }
  return nullptr;
}

bool DirectoryExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool EntryExists(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0) return true;
  // A folder on the way that is missing is no reason not to try: the write will say so.
  if (errno == ENOENT) return false;
  const auto code = static_cast<std::uint32_t>(errno);
  throw EWriteError(path, code, SystemErrorText(code));
}

bool CreateFolder(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }

// Our own copy rather than std::filesystem::copy_file, which opens the source plainly and
// would wait for ever on a pipe.
bool CopyFileTo(const std::string& source, const std::string& target, TCopyMode mode) {
  TDescriptor in;
  struct stat from {};
  if (OpenRegularFile(source, in, from) != 0) return false;
  // Not truncated yet: the target might be the source itself under another name. Opened
  // without waiting too, in case a pipe lies under the target's name.
  TDescriptor out(::open(target.c_str(),
                         O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC |
                             (mode == TCopyMode::NewFileOnly ? O_EXCL : 0),
                         0600));
  struct stat to {};
  if (!out || ::fstat(out.Get(), &to) != 0 || !S_ISREG(to.st_mode)) return false;
  if (to.st_dev == from.st_dev && to.st_ino == from.st_ino) return false;
  if (::ftruncate(out.Get(), 0) != 0) return false;
  std::vector<std::uint8_t> buffer(64 * 1024);
  for (;;) {
    const ssize_t n = ::read(in.Get(), buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    if (WriteAll(out.Get(), buffer.data(), static_cast<std::size_t>(n)) != 0) return false;
  }
  // As Windows' CopyFileA does: the source's permissions and modification time. The staged
  // pictures' times are the ones the WIM records, so the same pictures give the same WIM.
  const timespec times[2] = {{0, UTIME_NOW}, from.st_mtim};
  if (::fchmod(out.Get(), from.st_mode & 0777) != 0 || ::futimens(out.Get(), times) != 0)
    return false;
  return ::close(out.Detach()) == 0;
}

bool CopyModificationTime(const std::string& source, const std::string& target) {
  struct stat from {};
  if (::stat(source.c_str(), &from) != 0) return false;
  const timespec times[2] = {{0, UTIME_OMIT}, from.st_mtim};
  return ::utimensat(AT_FDCWD, target.c_str(), times, 0) == 0;
}

void WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  TDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (!fd) {
    const auto code = static_cast<std::uint32_t>(errno);
    throw EFCreateError(CannotCreateFileMessage(path, SystemErrorText(code)));
  }
  int error = WriteAll(fd.Get(), bytes.data(), bytes.size());
  // Closing is where a delayed write can still fail: its answer counts.
  if (::close(fd.Detach()) != 0 && error == 0) error = errno;
  if (error != 0) {
    const auto code = static_cast<std::uint32_t>(error);
    throw EWriteError(path, code, SystemErrorText(code));
  }
}

std::shared_ptr<TDisplayImage> CreateBitmapImage(TBitmapImageSpec) {
  return std::make_shared<TRecordedImage>();
}

std::shared_ptr<TDisplayImage> CreateIconImage(const std::vector<std::uint8_t>& image, int, int) {
  // An icon image is a DIB (its header starts with its size, 40) or a PNG.
  static constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  const TByteReader bytes(image);
  const bool dib = bytes.Holds(0, 40) && bytes.U32(0) == 40;
  const bool png = image.size() >= 8 && std::memcmp(image.data(), kPngSignature, 8) == 0;
  return dib || png ? std::make_shared<TRecordedImage>() : nullptr;
}

std::shared_ptr<TDisplayImage> CreateMetafileImage(const std::vector<std::uint8_t>& records,
                                                   TMetafileKind kind) {
  if (kind == TMetafileKind::Enhanced) {
    // +4: the header record's own size, at least the 88 bytes of its oldest form.
    const std::uint32_t header_size = TByteReader(records).U32(4);
    if (header_size < 88 || header_size > records.size()) return nullptr;
  }
  return std::make_shared<TRecordedImage>();
}

int ScreenPixelsPerInch() { return 96; }
int SystemIconSize() { return 32; }

}  // namespace marivane::platform
