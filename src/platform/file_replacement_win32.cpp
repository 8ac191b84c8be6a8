// TFileReplacement on Windows: CreateFileA(CREATE_NEW), FlushFileBuffers, and MoveFileExA
// with write-through, which returns only once the rename is on the disk.
#include <algorithm>
#include <cstdio>

#include "base/errors.h"
#include "platform/file_replacement.h"
#include "platform/leftovers.h"
#include "platform/platform.h"
#include "platform/win32_handles.h"

namespace marivane::platform {
namespace {

// Names taken by others (a leftover of a run that was killed, say) are passed over; this many
// in a row means something else is wrong.
constexpr int kNameAttempts = 100;

[[noreturn]] void Fail(const std::string& target, DWORD code) {
  throw EWriteError(target, code, SystemErrorText(code));
}

void FailIfInjected(const std::string& target, TReplacementStep step) {
  if (const std::uint32_t code = InjectedReplacementFailure(step)) Fail(target, code);
}

// Different in every process and every call; CREATE_NEW settles the rare clash.
std::uint32_t NameSeed() {
  static LONG calls = 0;
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  return static_cast<std::uint32_t>(now.QuadPart) ^ (GetCurrentProcessId() * 2654435761u) ^
         (static_cast<std::uint32_t>(InterlockedIncrement(&calls)) << 20);
}

}  // namespace

struct TFileReplacement::TOpenFile {
  std::string path;
  TFileHandle handle;
  bool committed = false;

  ~TOpenFile() {
    handle.Reset();
    if (committed || path.empty()) return;
    DeleteFileA(path.c_str());
    ReleaseLeftover(path);
  }
};

TFileReplacement::TFileReplacement(const std::string& target)
    : target_(target), file_(std::make_unique<TOpenFile>()) {
  FailIfInjected(target_, TReplacementStep::Create);
  // A write-protected file stays protected, as it would against CopyFileA. Windows refuses to
  // rename over one anyway; Wine, run as root, does not. (A folder's read-only bit means
  // something else, and the rename refuses a folder all the same.)
  const DWORD attributes = GetFileAttributesA(target_.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    Fail(target_, ERROR_ACCESS_DENIED);
  const std::size_t separator = target_.find_last_of("\\/:");
  // "C:name" keeps its drive: the temporary file goes to that drive's current folder too.
  const std::string prefix = separator == std::string::npos ? "" : target_.substr(0, separator + 1);
  RemoveAbandonedLeftovers(prefix, kTemporaryFilePrefix, kTemporaryFileSuffix, TLeftoverKind::File);
  const std::string start = prefix + kTemporaryFilePrefix + RunStamp();
  file_->path = MakeHeldLeftover(TLeftoverKind::File, [&] {
    std::uint32_t seed = NameSeed();
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
      seed = seed * 1664525u + 1013904223u;
      char tail[16];
      std::snprintf(tail, sizeof tail, "%08lx", static_cast<unsigned long>(seed));
      const std::string name = start + tail + kTemporaryFileSuffix;
      const HANDLE created = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
      if (created != INVALID_HANDLE_VALUE) {
        file_->handle.Reset(created);
        return name;
      }
      const DWORD error = GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) Fail(target_, error);
    }
    Fail(target_, ERROR_FILE_EXISTS);
  });
}

TFileReplacement::~TFileReplacement() = default;

const std::string& TFileReplacement::TemporaryPath() const { return file_->path; }

void TFileReplacement::Write(std::span<const std::uint8_t> bytes) {
  FailIfInjected(target_, TReplacementStep::Write);
  std::size_t written = 0;
  while (written < bytes.size()) {
    DWORD done = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - written, 1u << 30));
    if (!WriteFile(file_->handle.Get(), bytes.data() + written, chunk, &done, nullptr))
      Fail(target_, GetLastError());
    if (done == 0) Fail(target_, ERROR_DISK_FULL);  // nothing taken, no error given: no room left
    written += done;
  }
}

void TFileReplacement::Close() { file_->handle.Reset(); }

void TFileReplacement::Commit() {
  if (!file_->handle) {
    const HANDLE opened = CreateFileA(file_->path.c_str(), GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) Fail(target_, GetLastError());
    file_->handle.Reset(opened);
  }
  // The data reaches the disk before the name points at it; otherwise a power cut soon after
  // could leave the target empty, which is what the rename is there to prevent.
  FailIfInjected(target_, TReplacementStep::Flush);
  if (!FlushFileBuffers(file_->handle.Get())) Fail(target_, GetLastError());
  if (!CloseHandle(file_->handle.Detach())) Fail(target_, GetLastError());
  FailIfInjected(target_, TReplacementStep::Rename);
  // Refused for a folder, a read-only file, a file open without delete sharing and a device
  // name ("NUL"): each of them stays as it is. No check beforehand: opening a pipe's name to
  // look at it would connect to the pipe.
  if (!MoveFileExA(file_->path.c_str(), target_.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    Fail(target_, GetLastError());
  file_->committed = true;
  ReleaseLeftover(file_->path);
}

}  // namespace marivane::platform
