// POSIX side of the file-system shim: UTF-16 paths become UTF-8, errno becomes a Windows error.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>

#include "imaging/file_system.h"
#include "imaging/utf.h"

namespace imaging::fs {

namespace {

// FILETIME counts 100 ns steps from 1601; Unix time counts seconds from 1970.
constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ull;
constexpr std::uint64_t kFileTimeTicksPerSecond = 10000000;
constexpr std::uint64_t kNanosecondsPerTick = 100;

constexpr TDword kFileAttributeReadonly = 0x01;
constexpr TDword kFileAttributeDirectory = 0x10;
constexpr TDword kFileAttributeNormal = 0x80;  // a plain file; never combined with other bits

TDword FromErrno(int err) {
  switch (err) {
    case ENOENT: return kErrorFileNotFound;
    case ENOTDIR: return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return kErrorAccessDenied;
    case EEXIST: return kErrorFileExists;
    case ENOSPC: return kErrorDiskFull;
    case ENOMEM: return kErrorNotEnoughMemory;
    case ENAMETOOLONG: return kErrorInvalidName;
    case EISDIR: return kErrorAccessDenied;
    // Too many links on the way: Windows reports the same for a chain of reparse points.
    case ELOOP: return kErrorCantResolveFilename;
    default: return kErrorWriteFault;
  }
}

std::uint64_t ToFileTime(const timespec& ts) {
  if (ts.tv_sec < 0) return kUnixEpochAsFileTime;
  return kUnixEpochAsFileTime + std::uint64_t(ts.tv_sec) * kFileTimeTicksPerSecond +
         std::uint64_t(ts.tv_nsec) / kNanosecondsPerTick;
}

bool NarrowPath(const std::u16string& path, std::string& out) {
  return Utf16ToUtf8(path, out) && out.find('\0') == std::string::npos && !out.empty();
}

TFileInfo InfoFromStat(const struct stat& st) {
  TFileInfo info;
  info.is_directory = S_ISDIR(st.st_mode);
  info.size = info.is_directory ? 0 : std::uint64_t(st.st_size);
  if (info.is_directory)
    info.attributes = kFileAttributeDirectory;
  else
    info.attributes = (st.st_mode & S_IWUSR) ? kFileAttributeNormal : kFileAttributeReadonly;
  // Linux keeps no birth time in struct stat; the last change stands in for it.
  info.creation_time = ToFileTime(st.st_mtim);
  info.last_access_time = ToFileTime(st.st_atim);
  info.last_write_time = ToFileTime(st.st_mtim);
  return info;
}

TFileId IdFromStat(const struct stat& st) { return {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)}; }

// Windows refuses to open a file that is held open for writing without sharing; POSIX has no
// such rule, so the archives being written are listed here and ReadWholeFile refuses them the
// same way. Otherwise a capture of a folder that holds its own archive, under any name or
// through a link, reads its own growing output. A multiset: one file may be opened twice.
std::mutex outputs_mutex;
std::multiset<TFileId> open_outputs;

bool IsOpenOutput(const TFileId& id) {
  std::lock_guard lock(outputs_mutex);
  return open_outputs.count(id) != 0;
}

class TPosixOutputFile final : public TOutputFile {
 public:
  TPosixOutputFile(int fd, std::string path, const TFileId& id) : fd_(fd), path_(std::move(path)), id_(id) {
    std::lock_guard lock(outputs_mutex);
    open_outputs.insert(id_);
  }
  ~TPosixOutputFile() override { CloseFd(); }

  TDword WriteAt(std::uint64_t offset, std::span<const std::uint8_t> data) override {
    std::size_t done = 0;
    while (done < data.size()) {
      const ssize_t n = ::pwrite(fd_, data.data() + done, data.size() - done, off_t(offset + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        return FromErrno(errno);
      }
      done += std::size_t(n);
    }
    return kErrorSuccess;
  }

  TDword Truncate(std::uint64_t size) override {
    return ::ftruncate(fd_, off_t(size)) == 0 ? kErrorSuccess : FromErrno(errno);
  }

  void Discard() override {
    // Only our own file goes: something else may have been put at the path meanwhile.
    struct stat st;
    const bool ours = fd_ >= 0 && ::stat(path_.c_str(), &st) == 0 && IdFromStat(st) == id_;
    CloseFd();
    if (ours) ::unlink(path_.c_str());
  }

  TDword Close() override { return CloseFd() == 0 ? kErrorSuccess : FromErrno(errno); }

 private:
  int CloseFd() {
    if (fd_ < 0) return 0;
    {
      std::lock_guard lock(outputs_mutex);
      open_outputs.erase(open_outputs.find(id_));
    }
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc;
  }

  int fd_;
  std::string path_;
  TFileId id_;
};

}  // namespace

TDword QueryInfo(const std::u16string& path, TFileInfo& info) {
  std::string p;
  if (!NarrowPath(path, p)) return kErrorInvalidName;
  struct stat st;
  if (::stat(p.c_str(), &st) != 0) return FromErrno(errno);
  info = InfoFromStat(st);
  return kErrorSuccess;
}

TDword ListFolder(const std::u16string& path, TFolderListing& listing) {
  listing = {};
  std::string p;
  if (!NarrowPath(path, p)) return kErrorInvalidName;
  // The identity comes from the descriptor that is then listed, so the caller's loop check
  // holds for what it gets even if the path is swapped meanwhile.
  const int fd = ::open(p.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno == ENOTDIR ? kErrorDirectory : FromErrno(errno);
  struct stat own;
  DIR* dir = ::fstat(fd, &own) == 0 ? ::fdopendir(fd) : nullptr;
  if (!dir) {
    const int err = errno;
    ::close(fd);
    return FromErrno(err);
  }
  listing.id = IdFromStat(own);
  listing.last_write_time = ToFileTime(own.st_mtim);
  TDword result = kErrorSuccess;
  for (;;) {
    errno = 0;
    const dirent* ent = ::readdir(dir);
    if (!ent) {
      if (errno != 0) result = kErrorReadFault;
      break;
    }
    if (std::strcmp(ent->d_name, ".") == 0 || std::strcmp(ent->d_name, "..") == 0) continue;
    struct stat st;
    if (::fstatat(::dirfd(dir), ent->d_name, &st, 0) != 0) {
      result = FromErrno(errno);
      break;
    }
    if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) continue;
    TDirectoryItem item;
    if (!Utf8ToUtf16(ent->d_name, item.name)) {
      result = kErrorInvalidName;
      break;
    }
    item.info = InfoFromStat(st);
    listing.items.push_back(std::move(item));
  }
  ::closedir(dir);
  return result;
}

TDword ReadWholeFile(const std::u16string& path, std::vector<std::uint8_t>& data, std::uint64_t& last_write_time) {
  std::string p;
  if (!NarrowPath(path, p)) return kErrorInvalidName;
  // O_NONBLOCK: a pipe put in the file's place after the folder was listed must not hang the
  // open; it is refused below. Reads from a regular file ignore the flag.
  const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return FromErrno(errno);
  TDword result = kErrorSuccess;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    result = FromErrno(errno);
  } else if (!S_ISREG(st.st_mode)) {
    result = kErrorReadFault;
  } else if (IsOpenOutput(IdFromStat(st))) {
    result = kErrorSharingViolation;
  } else {
    last_write_time = ToFileTime(st.st_mtim);
    data.resize(std::size_t(st.st_size));
    std::size_t done = 0;
    while (done < data.size()) {
      const ssize_t n = ::read(fd, data.data() + done, data.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        // Shrank while we read it, or an I/O error.
        result = kErrorReadFault;
        break;
      }
      done += std::size_t(n);
    }
  }
  ::close(fd);
  return result;
}

std::u16string JoinPath(const std::u16string& folder, const std::u16string& name) {
  if (folder.empty() || folder.back() == u'/') return folder + name;
  return folder + u'/' + name;
}

TDword CreateOutputFile(const std::u16string& path, TDisposition disposition,
                        std::unique_ptr<TOutputFile>& file) {
  std::string p;
  if (!NarrowPath(path, p)) return kErrorInvalidName;
  int flags = O_RDWR | O_CREAT | O_CLOEXEC;
  flags |= disposition == TDisposition::kCreateNew ? O_EXCL : O_TRUNC;
  const int fd = ::open(p.c_str(), flags, 0666);
  if (fd < 0) {
    // Windows says "path not found" when a folder on the way is missing.
    if (errno == ENOENT) return kErrorPathNotFound;
    return FromErrno(errno);
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    ::unlink(p.c_str());
    return FromErrno(err);
  }
  file = std::make_unique<TPosixOutputFile>(fd, std::move(p), IdFromStat(st));
  return kErrorSuccess;
}

}  // namespace imaging::fs
