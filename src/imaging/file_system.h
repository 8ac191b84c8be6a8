// The little the imaging library needs from the operating system: walk a folder, read a file,
// write the archive. POSIX and Win32 implementations live in separate files chosen by CMake.
// Every failure comes back as a Windows error number.
#pragma once

#include <compare>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "imaging/last_error.h"

namespace imaging {

struct TFileInfo {
  bool is_directory = false;
  std::uint64_t size = 0;
  std::uint32_t attributes = 0;  // Windows FILE_ATTRIBUTE_* bits
  std::uint64_t creation_time = 0;  // FILETIME values
  std::uint64_t last_access_time = 0;
  std::uint64_t last_write_time = 0;
};

// The same file or folder, whatever path reached it: device and inode on POSIX, volume serial
// number and file index on Win32.
struct TFileId {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  auto operator<=>(const TFileId&) const = default;
};

struct TDirectoryItem {
  std::u16string name;
  TFileInfo info;
};

// A folder as ListFolder finds it. The identity and time are those of the folder listed, which
// for a link is the folder it names.
struct TFolderListing {
  TFileId id;
  std::uint64_t last_write_time = 0;
  // Everything but "." and ".."; objects that are neither files nor folders (devices, sockets,
  // pipes) are left out. Links are followed.
  std::vector<TDirectoryItem> items;
};

namespace fs {

// Information about the object at `path`; a folder's own entry for the image root.
TDword QueryInfo(const std::u16string& path, TFileInfo& info);
TDword ListFolder(const std::u16string& path, TFolderListing& listing);
// `last_write_time` is that of the file read, a link's target rather than the link. Fails with
// ERROR_SHARING_VIOLATION for an archive this process has open for writing, by whatever path it
// is reached, as Windows does for a file opened without sharing.
TDword ReadWholeFile(const std::u16string& path, std::vector<std::uint8_t>& data, std::uint64_t& last_write_time);
std::u16string JoinPath(const std::u16string& folder, const std::u16string& name);

enum class TDisposition { kCreateNew, kCreateAlways };

class TOutputFile {
 public:
  virtual ~TOutputFile() = default;
  virtual TDword WriteAt(std::uint64_t offset, std::span<const std::uint8_t> data) = 0;
  virtual TDword Truncate(std::uint64_t size) = 0;
  // Closes and deletes the file; used when the archive cannot be completed.
  virtual void Discard() = 0;
  virtual TDword Close() = 0;
};

TDword CreateOutputFile(const std::u16string& path, TDisposition disposition,
                        std::unique_ptr<TOutputFile>& file);

}  // namespace fs
}  // namespace imaging
