// The little the imaging library needs from the operating system: walk a folder, read a file,
// write the archive. POSIX and Win32 implementations live in separate files chosen by CMake.
// Every failure comes back as a Windows error number.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "imaging/last_error.h"

namespace imaging {

struct FileInfo {
  bool is_directory = false;
  std::uint64_t size = 0;
  std::uint32_t attributes = 0;  // Windows FILE_ATTRIBUTE_* bits
  std::uint64_t creation_time = 0;  // FILETIME values
  std::uint64_t last_access_time = 0;
  std::uint64_t last_write_time = 0;
};

struct DirectoryItem {
  std::u16string name;
  FileInfo info;
};

namespace fs {

// Information about the object at `path`; a folder's own entry for the image root.
Dword queryInfo(const std::u16string& path, FileInfo& info);
// The entries of a folder except "." and "..". Objects that are neither files nor folders
// (devices, sockets) are left out.
Dword listFolder(const std::u16string& path, std::vector<DirectoryItem>& items);
Dword readWholeFile(const std::u16string& path, std::vector<std::uint8_t>& data);
std::u16string joinPath(const std::u16string& folder, const std::u16string& name);

enum class Disposition { kCreateNew, kCreateAlways };

class OutputFile {
 public:
  virtual ~OutputFile() = default;
  virtual Dword writeAt(std::uint64_t offset, std::span<const std::uint8_t> data) = 0;
  virtual Dword truncate(std::uint64_t size) = 0;
  // Closes and deletes the file; used when the archive cannot be completed.
  virtual void discard() = 0;
  virtual Dword close() = 0;
};

Dword createOutputFile(const std::u16string& path, Disposition disposition,
                       std::unique_ptr<OutputFile>& file);

}  // namespace fs
}  // namespace imaging
