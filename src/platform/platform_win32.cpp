// The platform layer on Windows: files through CreateFileA, error texts from the system's
// message table, and GDI objects for the previews.
#include "platform/platform_win32.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <utility>

#include "base/bitmap_format.h"
#include "base/byte_reader.h"
#include "base/errors.h"
#include "base/hex_text.h"
#include "base/little_endian.h"
#include "platform/leftovers.h"

namespace marivane::platform {
namespace {

class TWin32FileStream final : public TStream {
 public:
  TWin32FileStream(TFileHandle file, std::uint64_t size) : file_(std::move(file)), size_(size) {}

  std::size_t Read(void* buffer, std::size_t count) override {
    std::size_t total = 0;
    while (total < count) {
      DWORD got = 0;
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(count - total, 1u << 30));
      if (!ReadFile(file_.Get(), static_cast<char*>(buffer) + total, want, &got, nullptr) ||
          got == 0)
        break;
      total += got;
    }
    position_ += total;
    return total;
  }
  std::uint64_t Size() const override { return size_; }
  std::uint64_t Position() const override { return position_; }

 private:
  TFileHandle file_;
  std::uint64_t size_;
  std::uint64_t position_ = 0;
};

// Colour spaces of a V4 or V5 header (TBitmapV5HeaderDisk's cs_type).
constexpr std::uint32_t kProfileLinked = 0x4C494E4B;    // 'LINK'
constexpr std::uint32_t kProfileEmbedded = 0x4D424544;  // 'MBED'
constexpr std::uint32_t kSRgb = 0x73524742;             // 'sRGB'

// Opened without sharing and deleted by the system when the handle goes, however the process
// ends: a lock that cannot outlive its holder.
class TWin32FileLock final : public TFileLock {
 public:
  explicit TWin32FileLock(TFileHandle file) : file_(std::move(file)) {}

 private:
  TFileHandle file_;
};

std::string FullPath(const std::string& path) {
  const DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::string full(needed, '\0');
  const DWORD length = GetFullPathNameA(path.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return path;
  full.resize(length);
  // "C:\Temp\mrvn\" is the same folder as "C:\Temp\mrvn"; a drive's root keeps its separator.
  if (full.size() > 3 && full.back() == '\\') full.pop_back();
  return full;
}

// The volume and file index of an existing file or folder. A folder opens only with backup
// semantics; no access is asked for, so that a file in use still answers.
bool IdentityOf(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
  const HANDLE opened = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return false;
  const TFileHandle file(opened);
  return GetFileInformationByHandle(file.Get(), &info) != 0;
}

}  // namespace

std::string SystemErrorText(std::uint32_t code) {
  char buffer[256];
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                         FORMAT_MESSAGE_ARGUMENT_ARRAY,
                     nullptr, code, 0, buffer, sizeof buffer, nullptr);
  return std::string(buffer, length);
}

std::unique_ptr<TStream> OpenFileForReading(const std::string& path) {
  const HANDLE opened = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    throw EFOpenError(CannotOpenFileMessage(path, SystemErrorText(error)), error);
  }
  TFileHandle file(opened);
  // Opening a pipe or a device does not wait, but reading one could wait for ever. 0: the
  // system opened it; the refusal is ours.
  if (GetFileType(file.Get()) != FILE_TYPE_DISK)
    throw EFOpenError(CannotOpenFileMessage(path, kNotRegularFileText), 0);
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size)) {
    const DWORD error = GetLastError();
    throw EFOpenError(CannotOpenFileMessage(path, SystemErrorText(error)), error);
  }
  return std::make_unique<TWin32FileStream>(std::move(file),
                                            static_cast<std::uint64_t>(size.QuadPart));
}

std::u16string ToWidePath(const std::string& path) {
  if (path.empty()) return {};
  const int length = MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()),
                                         nullptr, 0);
  std::u16string wide(static_cast<std::size_t>(length), u'\0');
  MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()),
                      reinterpret_cast<wchar_t*>(wide.data()), length);
  return wide;
}

const char kPathSeparator = '\\';

const char* TemporaryFolderVariable() { return "TEMP"; }

std::vector<std::uint8_t> FileSecurityOf(const std::string& path, SECURITY_INFORMATION what) {
  DWORD size = 0;
  GetFileSecurityA(path.c_str(), what, nullptr, 0, &size);
  std::vector<std::uint8_t> descriptor(size);
  if (size == 0 || !GetFileSecurityA(path.c_str(), what, descriptor.data(), size, &size))
    return {};
  return descriptor;
}

std::string HexCode(std::uint32_t code) {
  return HexNumber(code, 8);
}

std::string NarrowText(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return "";
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, narrow.data(), size, nullptr, nullptr);
  narrow.pop_back();  // the terminating zero the count included
  return narrow;
}

std::string TemporaryFolder() {
  const DWORD length = GetEnvironmentVariableA("TEMP", nullptr, 0);
  if (length == 0) return "";
  std::string value(length, '\0');
  value.resize(GetEnvironmentVariableA("TEMP", value.data(), length));
  return value;
}

std::string ProgramFolder() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);  // cut short: try again with more room
  }
  return path.substr(0, path.find_last_of("\\/:") + 1);
}

const bool kTemporaryFolderIsShared = false;

std::string CreatePrivateFolder(const std::string& parent, const std::string& prefix) {
  const std::string folder = parent + kPathSeparator;
  RemoveAbandonedLeftovers(folder, prefix, "", TLeftoverKind::Folder);
  // The per-user TEMP keeps others out already; the name only has to be new.
  return MakeHeldLeftover(TLeftoverKind::Folder, [&] {
    const std::string start = folder + prefix + RunStamp();
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
      const std::string path = start + std::to_string(attempt);
      if (CreateDirectoryA(path.c_str(), nullptr)) return path;
      if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return std::string();
  });
}

bool IsInsideFolder(const std::string& path, const std::string& folder) {
  const std::string whole = FullPath(path);
  const std::string base = FullPath(folder);
  // Letter case does not tell two names apart on Windows.
  if (whole.size() >= base.size() &&
      CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, whole.data(), static_cast<int>(base.size()),
                     base.data(), static_cast<int>(base.size())) == CSTR_EQUAL &&
      (whole.size() == base.size() || whole[base.size()] == '\\' || base.back() == '\\'))
    return true;
  // The same folder by another name: a short name, a junction, another drive letter.
  BY_HANDLE_FILE_INFORMATION wanted{};
  if (!IdentityOf(folder, wanted)) return false;
  for (std::string up = whole; !up.empty();) {
    BY_HANDLE_FILE_INFORMATION here{};
    if (IdentityOf(up, here) && here.dwVolumeSerialNumber == wanted.dwVolumeSerialNumber &&
        here.nFileIndexHigh == wanted.nFileIndexHigh && here.nFileIndexLow == wanted.nFileIndexLow)
      return true;
    const std::size_t cut = up.find_last_of('\\');
    if (cut == std::string::npos || cut + 1 == up.size()) break;
    // "C:" alone would name the drive's current folder, not its root.
    up.resize(cut > 0 && up[cut - 1] == ':' ? cut + 1 : cut);
  }
  return false;
}

std::unique_ptr<TFileLock> TryLockFile(const std::string& path) {
  const HANDLE opened =
      CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (opened == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION) return nullptr;
    throw EFCreateError(CannotCreateFileMessage(path, SystemErrorText(error)));
  }
  return std::make_unique<TWin32FileLock>(TFileHandle(opened));
}

bool DirectoryExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool EntryExists(const std::string& path) {
  if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  const DWORD error = GetLastError();
  // A folder on the way that is missing is no reason not to try: the write will say so.
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return false;
  throw EWriteError(path, error, SystemErrorText(error));
}

bool CreateFolder(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool CopyFileTo(const std::string& source, const std::string& target, TCopyMode mode) {
  // The source is looked at first: CopyFileA would read a device such as CON and wait for
  // ever. Held open meanwhile (others may read and write it, as CopyFileA lets them), it
  // cannot be swapped for another between the look and the copy.
  const HANDLE opened =
      CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return false;
  const TFileHandle held(opened);
  if (GetFileType(held.Get()) != FILE_TYPE_DISK) return false;
  return CopyFileA(source.c_str(), target.c_str(), mode == TCopyMode::NewFileOnly) != 0;
}

bool CopyModificationTime(const std::string& source, const std::string& target) {
  const auto open = [](const std::string& path, DWORD access) {
    return TFileHandle(CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  };
  const TFileHandle from = open(source, GENERIC_READ);
  const TFileHandle to = open(target, FILE_WRITE_ATTRIBUTES);
  FILETIME written{};
  return from && to && GetFileTime(from.Get(), nullptr, nullptr, &written) &&
         SetFileTime(to.Get(), nullptr, nullptr, &written);
}

void WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  const HANDLE created = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
  if (created == INVALID_HANDLE_VALUE)
    throw EFCreateError(CannotCreateFileMessage(path, SystemErrorText(GetLastError())));
  TFileHandle file(created);
  DWORD error = ERROR_SUCCESS;
  std::size_t written = 0;
  while (written < bytes.size() && error == ERROR_SUCCESS) {
    DWORD done = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - written, 1u << 30));
    if (!WriteFile(file.Get(), bytes.data() + written, chunk, &done, nullptr))
      error = GetLastError();
    else if (done == 0)
      error = ERROR_DISK_FULL;  // nothing taken, no error given: no room left
    written += done;
  }
  // Closing is where a delayed write can still fail: its answer counts.
  if (!CloseHandle(file.Detach()) && error == ERROR_SUCCESS) error = GetLastError();
  if (error != ERROR_SUCCESS) throw EWriteError(path, error, SystemErrorText(error));
}

std::shared_ptr<TDisplayImage> CreateBitmapImage(TBitmapImageSpec spec) {
  std::vector<std::uint8_t>& header = spec.header;
  // The system takes the data's length from the header; ours is what was actually read.
  PutU32(header, offsetof(TBitmapInfoHeaderDisk, size_image),
         static_cast<std::uint32_t>(spec.bits.size()));
  // A colour profile named by the header lies outside the memory handed over, and the system
  // would go and read it there.
  if (header.size() >= kV5HeaderSize) {
    const std::uint32_t cs_type = TByteReader(header).U32(offsetof(TBitmapV5HeaderDisk, cs_type));
    if (cs_type == kProfileLinked || cs_type == kProfileEmbedded) {
      PutU32(header, offsetof(TBitmapV5HeaderDisk, cs_type), kSRgb);
      PutU32(header, offsetof(TBitmapV5HeaderDisk, profile_data), 0);
      PutU32(header, offsetof(TBitmapV5HeaderDisk, profile_size), 0);
    }
  }
  // Header, masks and colour table as one BITMAPINFO. It is padded with room for three masks
  // and a full table, whatever the header says, so that the system never reads past it.
  std::vector<std::uint8_t> info(spec.header.size() + 12 + 256 * 4, 0);
  std::memcpy(info.data(), spec.header.data(), spec.header.size());
  std::memcpy(info.data() + spec.header.size(), spec.color_table.data(),
              std::min(spec.color_table.size(), info.size() - spec.header.size()));
  const auto* bmi = reinterpret_cast<const BITMAPINFO*>(info.data());

  TWindowDC screen;
  SetLastError(0);
  HBITMAP bitmap = nullptr;
  if (spec.device_independent) {
    void* pixels = nullptr;
    bitmap = CreateDIBSection(screen.Get(), bmi, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (bitmap != nullptr) std::memcpy(pixels, spec.bits.data(), spec.bits.size());
  } else {
    // Run-length data is decoded by the system into a bitmap for the display.
    static const std::uint8_t kNoData = 0;
    bitmap = CreateDIBitmap(screen.Get(), &bmi->bmiHeader, CBM_INIT,
                            spec.bits.empty() ? &kNoData : spec.bits.data(), bmi, DIB_RGB_COLORS);
  }
  if (bitmap == nullptr) {
    const DWORD error = GetLastError();
    if (error != 0) throw OSError(error);
    throw EInvalidGraphic("Bitmap image is not valid");
  }
  return std::make_shared<TWin32Bitmap>(TBitmapHandle(bitmap));
}

std::shared_ptr<TDisplayImage> CreateIconImage(const std::vector<std::uint8_t>& image, int width,
                                               int height) {
  // 0x00030000: the icon format version every icon resource uses.
  HICON icon = CreateIconFromResourceEx(const_cast<BYTE*>(image.data()),
                                        static_cast<DWORD>(image.size()), TRUE, 0x00030000, width,
                                        height, LR_DEFAULTCOLOR);
  if (icon == nullptr) return nullptr;
  return std::make_shared<TWin32Icon>(TIconHandle(icon));
}

std::shared_ptr<TDisplayImage> CreateMetafileImage(const std::vector<std::uint8_t>& records,
                                                   TMetafileKind kind) {
  const UINT size = static_cast<UINT>(records.size());
  HENHMETAFILE metafile = kind == TMetafileKind::Enhanced ? SetEnhMetaFileBits(size, records.data())
                                   : SetWinMetaFileBits(size, records.data(), nullptr, nullptr);
  if (metafile == nullptr) return nullptr;
  return std::make_shared<TWin32Metafile>(TMetafileHandle(metafile));
}

int ScreenPixelsPerInch() {
  TWindowDC screen;
  return GetDeviceCaps(screen.Get(), LOGPIXELSY);
}

int SystemIconSize() { return GetSystemMetrics(SM_CXICON); }

}  // namespace marivane::platform
