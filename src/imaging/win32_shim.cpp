// Win32 side of the file-system shim and the last-error slot. The only file of the library that
// sees <windows.h>; paths are already UTF-16, so they go to the W functions unchanged.
#include <windows.h>

#include <cstdint>

#include "base/owned.h"
#include "imaging/file_system.h"
#include "imaging/last_error.h"

namespace imaging {

void SetLastError(TDword code) { ::SetLastError(code); }
TDword LastError() { return ::GetLastError(); }

namespace fs {

namespace {

// Empty for null and for INVALID_HANDLE_VALUE, the failure value of CreateFileW and
// FindFirstFileW, so a call's result is wrapped as it comes.
using TFile = marivane::TOwned<HANDLE, &::CloseHandle, marivane::TNullOrAllOnes<HANDLE>>;
using TSearch = marivane::TOwned<HANDLE, &::FindClose, marivane::TNullOrAllOnes<HANDLE>>;

// The attribute bits a captured entry keeps; the rest (compression, encryption, sparse,
// offline...) describe storage on this volume, not the file.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

const wchar_t* Wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

std::uint64_t FromFileTime(const FILETIME& ft) {
  return (std::uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
}

TFileInfo InfoFrom(DWORD attributes, DWORD size_high, DWORD size_low, const FILETIME& created,
                   const FILETIME& accessed, const FILETIME& written) {
  TFileInfo info;
  info.is_directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info.size = info.is_directory ? 0 : (std::uint64_t{size_high} << 32) | size_low;
  info.attributes = attributes & kKeptAttributes;
  if (info.attributes == 0) info.attributes = FILE_ATTRIBUTE_NORMAL;
  info.creation_time = FromFileTime(created);
  info.last_access_time = FromFileTime(accessed);
  info.last_write_time = FromFileTime(written);
  return info;
}

TFileId IdFrom(const BY_HANDLE_FILE_INFORMATION& info) {
  return {info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

class TWin32OutputFile final : public TOutputFile {
 public:
  TWin32OutputFile(TFile file, std::u16string path) : file_(std::move(file)), path_(std::move(path)) {}

  TDword WriteAt(std::uint64_t offset, std::span<const std::uint8_t> data) override {
    LARGE_INTEGER pos;
    pos.QuadPart = LONGLONG(offset);
    if (!::SetFilePointerEx(file_.Get(), pos, nullptr, FILE_BEGIN)) return ::GetLastError();
    std::size_t done = 0;
    while (done < data.size()) {
      // WriteFile takes a 32-bit count; archives here are small, but stay honest about it.
      const DWORD want = DWORD(std::min<std::size_t>(data.size() - done, 1u << 30));
      DWORD wrote = 0;
      if (!::WriteFile(file_.Get(), data.data() + done, want, &wrote, nullptr)) return ::GetLastError();
      if (wrote == 0) return kErrorWriteFault;
      done += wrote;
    }
    return kErrorSuccess;
  }

  TDword Truncate(std::uint64_t size) override {
    LARGE_INTEGER pos;
    pos.QuadPart = LONGLONG(size);
    if (!::SetFilePointerEx(file_.Get(), pos, nullptr, FILE_BEGIN) || !::SetEndOfFile(file_.Get()))
      return ::GetLastError();
    return kErrorSuccess;
  }

  void Discard() override {
    file_.Reset();
    ::DeleteFileW(Wide(path_));
  }

  // Closed here rather than by the owner, since a close that fails (a delayed write) is an
  // error of the archive.
  TDword Close() override { return ::CloseHandle(file_.Detach()) ? kErrorSuccess : ::GetLastError(); }

 private:
  TFile file_;
  std::u16string path_;
};

TDword DescribeFolder(HANDLE folder, TFolderListing& listing) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(folder, &info)) return ::GetLastError();
  listing.id = IdFrom(info);
  listing.last_write_time = FromFileTime(info.ftLastWriteTime);
  return kErrorSuccess;
}

}  // namespace

TDword QueryInfo(const std::u16string& path, TFileInfo& info) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!::GetFileAttributesExW(Wide(path), GetFileExInfoStandard, &d)) return ::GetLastError();
  info = InfoFrom(d.dwFileAttributes, d.nFileSizeHigh, d.nFileSizeLow, d.ftCreationTime, d.ftLastAccessTime,
                  d.ftLastWriteTime);
  return kErrorSuccess;
}

TDword ListFolder(const std::u16string& path, TFolderListing& listing) {
  listing = {};
  // The folder's handle stays open while it is listed, so the identity is that of the folder
  // whose entries come back (a folder in use cannot be renamed away).
  const TFile folder(::CreateFileW(Wide(path), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!folder) return ::GetLastError();
  if (TDword e = DescribeFolder(folder.Get(), listing)) return e;
  const std::u16string pattern = JoinPath(path, u"*");
  WIN32_FIND_DATAW fd;
  const TSearch find(::FindFirstFileW(Wide(pattern), &fd));
  if (!find) {
    const DWORD e = ::GetLastError();
    return e == ERROR_FILE_NOT_FOUND ? kErrorSuccess : e;  // an empty volume root has no entries at all
  }
  TDword result = kErrorSuccess;
  do {
    const std::u16string name(reinterpret_cast<const char16_t*>(fd.cFileName));
    if (name == u"." || name == u"..") continue;
    TDirectoryItem item;
    item.name = name;
    item.info = InfoFrom(fd.dwFileAttributes, fd.nFileSizeHigh, fd.nFileSizeLow, fd.ftCreationTime,
                         fd.ftLastAccessTime, fd.ftLastWriteTime);
    // A junction or a symbolic link is followed like the folder or file it names, as on POSIX;
    // the capture refuses one that leads back into a folder it is walking.
    listing.items.push_back(std::move(item));
  } while (::FindNextFileW(find.Get(), &fd));
  const DWORD e = ::GetLastError();
  if (e != ERROR_NO_MORE_FILES) result = e;
  return result;
}

TDword ReadWholeFile(const std::u16string& path, std::vector<std::uint8_t>& data, std::uint64_t& last_write_time) {
  // The archive being written is open without sharing, so reaching it here by any name fails
  // with ERROR_SHARING_VIOLATION from the system itself.
  const TFile file(::CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return ::GetLastError();
  TDword result = kErrorSuccess;
  BY_HANDLE_FILE_INFORMATION info;
  const bool described = ::GetFileInformationByHandle(file.Get(), &info);
  const std::uint64_t size = described ? (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow : 0;
  if (!described) {
    result = ::GetLastError();
  } else if (size > data.max_size()) {
    // size_t is 32 bits here: a file of 4 GiB or more would be cut to its size modulo 4 GiB.
    result = kErrorNotEnoughMemory;
  } else {
    last_write_time = FromFileTime(info.ftLastWriteTime);
    data.resize(std::size_t(size));
    std::size_t done = 0;
    while (done < data.size()) {
      const DWORD want = DWORD(std::min<std::size_t>(data.size() - done, 1u << 30));
      DWORD got = 0;
      if (!::ReadFile(file.Get(), data.data() + done, want, &got, nullptr)) {
        result = ::GetLastError();
        break;
      }
      if (got == 0) {
        result = kErrorReadFault;
        break;
      }
      done += got;
    }
  }
  return result;
}

std::u16string JoinPath(const std::u16string& folder, const std::u16string& name) {
  if (folder.empty() || folder.back() == u'\\' || folder.back() == u'/') return folder + name;
  return folder + u'\\' + name;
}

TDword CreateOutputFile(const std::u16string& path, TDisposition disposition, std::unique_ptr<TOutputFile>& file) {
  const DWORD how = disposition == TDisposition::kCreateNew ? CREATE_NEW : CREATE_ALWAYS;
  TFile created(::CreateFileW(Wide(path), GENERIC_READ | GENERIC_WRITE, 0, nullptr, how, FILE_ATTRIBUTE_NORMAL,
                              nullptr));
  if (!created) return ::GetLastError();
  file = std::make_unique<TWin32OutputFile>(std::move(created), path);
  return kErrorSuccess;
}

}  // namespace fs
}  // namespace imaging
