// TFileReplacement on Windows: CreateFileA(CREATE_NEW), FlushFileBuffers, and MoveFileExA
// with write-through, which returns only once the rename is on the disk. The new file takes
// over the replaced one's access control list, as ReplaceFile would on Windows (Wine's
// ReplaceFile moves the file and keeps nothing, so the list is copied across here).
//
// Where the folder lets the user write the existing file but not make or rename files (the
// temporary file cannot be created beside it, or cannot be renamed over it), the complete new
// content is copied over the target instead, as CopyFileA does: that write is not atomic, but
// it comes only once the new file is whole and read back, and it makes the file as large as it
// must be before it changes a byte, so that a full disk leaves the old content as it was.
//
// A target with several hard links gets a new file under its own name; the other names keep
// the old content. That keeps the replacement atomic, and a system file that the component
// store links (System32\en-US\winload.exe.mui and its copy under WinSxS) keeps its original
// where Windows looks for it to repair the system.
#include <algorithm>
#include <cstdio>
#include <new>
#include <vector>

#include "base/errors.h"
#include "platform/file_replacement.h"
#include "platform/leftovers.h"
#include "platform/platform.h"
#include "platform/platform_win32.h"
#include "platform/win32_handles.h"

namespace marivane::platform {
namespace {

// Names taken by others (a leftover of a run that was killed, say) are passed over; this many
// in a row means something else is wrong.
constexpr int kNameAttempts = 100;

[[noreturn]] void Fail(const std::string& target, DWORD code) {
  throw EWriteError(target, code, SystemErrorText(code));
}

void FailIfInjected(const std::string& target, const TReplacementFault& fault,
                    TReplacementStep step) {
  if (const std::uint32_t code = fault.At(step)) Fail(target, code);
}

// Different in every process and every call; CREATE_NEW settles the rare clash.
std::uint32_t NameSeed() {
  static LONG calls = 0;
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  return static_cast<std::uint32_t>(now.QuadPart) ^ (GetCurrentProcessId() * 2654435761u) ^
         (static_cast<std::uint32_t>(InterlockedIncrement(&calls)) << 20);
}

// The folder part of `path` with its separator; "C:name" keeps its drive, for that drive's
// current folder.
std::string FolderOf(const std::string& path) {
  const std::size_t separator = path.find_last_of("\\/:");
  return separator == std::string::npos ? "" : path.substr(0, separator + 1);
}

// Writes all of `bytes` at the handle's position; the system's error code, or 0.
DWORD WriteAll(HANDLE file, const std::uint8_t* bytes, std::size_t count) {
  std::size_t written = 0;
  while (written < count) {
    DWORD done = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - written, 1u << 30));
    if (!WriteFile(file, bytes + written, chunk, &done, nullptr)) return GetLastError();
    if (done == 0) return ERROR_DISK_FULL;  // nothing taken, no error given: no room left
    written += done;
  }
  return 0;
}

bool SetSize(HANDLE file, std::uint64_t size) {
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(size);
  return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

}  // namespace

struct TFileReplacement::TOpenFile {
  std::string path;
  TFileHandle handle;
  bool committed = false;
  // The target's access control list, which the new file takes before it takes the name.
  std::vector<std::uint8_t> target_security;
  // Set where no new file could be made beside the target: it is open for writing, and `path`
  // lies in the temporary folder, to be copied over it.
  TFileHandle target;

  ~TOpenFile() {
    handle.Reset();
    if (committed || path.empty()) return;
    DeleteFileA(path.c_str());
    ReleaseLeftover(path);
  }

  // A new file under a new name in `folder`; the system's error code when it cannot be made.
  DWORD Create(const std::string& folder) {
    RemoveAbandonedLeftovers(folder, kTemporaryFilePrefix, kTemporaryFileSuffix,
                             TLeftoverKind::File);
    const std::string start = folder + kTemporaryFilePrefix + RunStamp();
    DWORD error = ERROR_FILE_EXISTS;
    path = MakeHeldLeftover(TLeftoverKind::File, [&] {
      std::uint32_t seed = NameSeed();
      for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        seed = seed * 1664525u + 1013904223u;
        char tail[16];
        std::snprintf(tail, sizeof tail, "%08lx", static_cast<unsigned long>(seed));
        const std::string name = start + tail + kTemporaryFileSuffix;
        // Read access too, for a copy over the target from it.
        const HANDLE created = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (created != INVALID_HANDLE_VALUE) {
          handle.Reset(created);
          return name;
        }
        error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
      }
      return std::string();
    });
    return path.empty() ? error : 0;
  }

  // The target opened for a copy over it: a plain file that we may write, left as it is.
  bool OpenTarget(const std::string& target_path) {
    const HANDLE opened = CreateFileA(target_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return false;
    target.Reset(opened);
    return GetFileType(target.Get()) == FILE_TYPE_DISK;
  }

  // Copies the finished file over the target opened by OpenTarget, and removes it.
  void CopyOverTarget(const std::string& target_path, const TReplacementFault& fault) {
    // The whole new content, read back from the finished file, before the target is touched.
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle.Get(), &size) ||
        !SetFilePointerEx(handle.Get(), LARGE_INTEGER{}, nullptr, FILE_BEGIN))
      Fail(target_path, GetLastError());
    std::vector<std::uint8_t> content;
    try {
      content.resize(static_cast<std::size_t>(size.QuadPart));
    } catch (const std::bad_alloc&) {
      Fail(target_path, ERROR_NOT_ENOUGH_MEMORY);
    }
    DWORD got = 0;
    if (!ReadFile(handle.Get(), content.data(), static_cast<DWORD>(content.size()), &got,
                  nullptr) ||
        got != content.size())
      Fail(target_path, got != content.size() ? ERROR_HANDLE_EOF : GetLastError());
    handle.Reset();

    const HANDLE into = target.Get();
    LARGE_INTEGER old_size{};
    if (!GetFileSizeEx(into, &old_size)) Fail(target_path, GetLastError());
    FailIfInjected(target_path, fault, TReplacementStep::Flush);
    // Room for all of it first: a disk too full for the new content fails here, with the old
    // content untouched, rather than half-way through the write.
    if (size.QuadPart > old_size.QuadPart && !SetSize(into, content.size())) {
      const DWORD error = GetLastError();
      SetSize(into, static_cast<std::uint64_t>(old_size.QuadPart));
      Fail(target_path, error);
    }
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(into, start, nullptr, FILE_BEGIN)) Fail(target_path, GetLastError());
    if (const DWORD error = WriteAll(into, content.data(), content.size()))
      Fail(target_path, error);
    if (!SetEndOfFile(into) || !FlushFileBuffers(into)) Fail(target_path, GetLastError());
    if (!CloseHandle(target.Detach())) Fail(target_path, GetLastError());
    committed = true;
    DeleteFileA(path.c_str());
    ReleaseLeftover(path);
  }
};

TFileReplacement::TFileReplacement(const std::string& target, TReplacementFault fault)
    : target_(target), fault_(fault), file_(std::make_unique<TOpenFile>()) {
  // A write-protected file stays protected, as it would against CopyFileA. Windows refuses to
  // rename over one anyway; Wine, run as root, does not. (A folder's read-only bit means
  // something else, and the rename refuses a folder all the same.)
  const DWORD attributes = GetFileAttributesA(target_.c_str());
  const bool file_exists =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  if (file_exists && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
    Fail(target_, ERROR_ACCESS_DENIED);
  if (file_exists) file_->target_security = FileSecurityOf(target_, DACL_SECURITY_INFORMATION);

  DWORD error = fault_.At(TReplacementStep::Create);
  if (error == 0) error = file_->Create(FolderOf(target_));
  if (error == 0) return;
  // A folder that lets nobody make a file in it may still let us write the file itself.
  if (error != ERROR_ACCESS_DENIED || !file_exists || !file_->OpenTarget(target_) ||
      TemporaryFolder().empty() || file_->Create(TemporaryFolder() + '\\') != 0)
    Fail(target_, error);
}

TFileReplacement::~TFileReplacement() = default;

const std::string& TFileReplacement::TemporaryPath() const { return file_->path; }

void TFileReplacement::Write(std::span<const std::uint8_t> bytes) {
  FailIfInjected(target_, fault_, TReplacementStep::Write);
  if (const DWORD error = WriteAll(file_->handle.Get(), bytes.data(), bytes.size()))
    Fail(target_, error);
}

void TFileReplacement::Close() { file_->handle.Reset(); }

void TFileReplacement::Commit() {
  if (!file_->handle) {
    const HANDLE opened = CreateFileA(file_->path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) Fail(target_, GetLastError());
    file_->handle.Reset(opened);
  }
  if (file_->target) {
    file_->CopyOverTarget(target_, fault_);
    return;
  }
  // The data reaches the disk before the name points at it; otherwise a power cut soon after
  // could leave the target empty, which is what the rename is there to prevent.
  FailIfInjected(target_, fault_, TReplacementStep::Flush);
  if (!FlushFileBuffers(file_->handle.Get())) Fail(target_, GetLastError());
  if (!CloseHandle(file_->handle.Detach())) Fail(target_, GetLastError());
  // The owner of a new file may always set its list; the list it had is kept, to be put back
  // should the rename fail and the target's list not let us remove the file.
  std::vector<std::uint8_t> own_security =
      file_->target_security.empty() ? std::vector<std::uint8_t>()
                                     : FileSecurityOf(file_->path, DACL_SECURITY_INFORMATION);
  if (!file_->target_security.empty() &&
      !SetFileSecurityA(file_->path.c_str(), DACL_SECURITY_INFORMATION,
                        file_->target_security.data()))
    Fail(target_, GetLastError());
  // Refused for a folder, a read-only file, a file open without delete sharing and a device
  // name ("NUL"): each of them stays as it is. No check beforehand: opening a pipe's name to
  // look at it would connect to the pipe.
  DWORD error = fault_.At(TReplacementStep::Rename);
  if (error == 0 && MoveFileExA(file_->path.c_str(), target_.c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    file_->committed = true;
    ReleaseLeftover(file_->path);
    return;
  }
  if (error == 0) error = GetLastError();
  if (!own_security.empty())
    SetFileSecurityA(file_->path.c_str(), DACL_SECURITY_INFORMATION, own_security.data());
  // Allowed to write the file but not to replace it by name: the copy over it.
  if (error != ERROR_ACCESS_DENIED || !file_->OpenTarget(target_)) Fail(target_, error);
  const HANDLE opened = CreateFileA(file_->path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) Fail(target_, error);
  file_->handle.Reset(opened);
  file_->CopyOverTarget(target_, fault_);
}

}  // namespace marivane::platform
