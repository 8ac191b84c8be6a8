// The image checksum on Windows, by imagehlp.dll itself. Its three functions are bound by name
// on first use, so that the program starts on a system without the library.
#include <windows.h>
#include <imagehlp.h>

#include <bit>
#include <exception>

#include "base/errors.h"
#include "base/owned.h"
#include "platform/image_checksum.h"
#include "platform/platform.h"

namespace marivane::platform {
namespace {

constexpr char kImagehlp[] = "imagehlp.dll";

using MapAndLoadFn = BOOL(WINAPI*)(PCSTR, PCSTR, PLOADED_IMAGE, BOOL, BOOL);
using CheckSumMappedFileFn = PIMAGE_NT_HEADERS(WINAPI*)(PVOID, DWORD, PDWORD, PDWORD);
using UnMapAndLoadFn = BOOL(WINAPI*)(PLOADED_IMAGE);

// Filled on first use and kept for the life of the process; the library is never released.
FARPROC map_and_load = nullptr;
FARPROC check_sum_mapped_file = nullptr;
FARPROC un_map_and_load = nullptr;

template <typename Fn>
Fn Bound(FARPROC& slot, const char* function) {
  if (slot == nullptr) {
    HMODULE library = GetModuleHandleA(kImagehlp);
    if (library == nullptr) library = LoadLibraryA(kImagehlp);
    if (library == nullptr) throw Exception(LibraryNotFoundMessage(kImagehlp));
    slot = GetProcAddress(library, function);
    if (slot == nullptr)
      throw Exception(FunctionNotFoundMessage(kImagehlp, function));
  }
  return std::bit_cast<Fn>(slot);
}

// The mapping, given back by Release before the sum's outcome leaves, and by the destructor
// on any other way out.
class TMappedImage : TNonCopyable {
 public:
  explicit TMappedImage(const std::string& path) {
    const auto map = Bound<MapAndLoadFn>(map_and_load, "MapAndLoad");
    if (!map(path.c_str(), nullptr, &image_, TRUE, TRUE)) {
      const DWORD error = GetLastError();
      image_ = {};
      if (error == 0) throw Exception(kNotPeFormatText);
      if (error == ERROR_FILE_NOT_FOUND) throw Exception(CannotOpenModuleMessage(path));
      throw OSError(error);
    }
    mapped_ = true;
  }
  ~TMappedImage() {
    try {
      Release();
    } catch (...) {
      // Only a binding failure gets here, and the mapping has gone all the same.
    }
  }
  LOADED_IMAGE& image() { return image_; }

  // Through UnMapAndLoad. When that cannot be bound, the view and the file are let go here
  // instead, and the binding failure is raised like those of the other two functions.
  void Release() {
    if (!mapped_) return;
    mapped_ = false;
    UnMapAndLoadFn unmap = nullptr;
    try {
      unmap = Bound<UnMapAndLoadFn>(un_map_and_load, "UnMapAndLoad");
    } catch (...) {
      // The module name MapAndLoad allocated stays behind: it is the library's to free.
      if (image_.MappedAddress != nullptr) UnmapViewOfFile(image_.MappedAddress);
      if (image_.hFile != nullptr && image_.hFile != INVALID_HANDLE_VALUE) CloseHandle(image_.hFile);
      image_ = {};
      throw;
    }
    unmap(&image_);
    image_ = {};
  }

 private:
  LOADED_IMAGE image_{};
  bool mapped_ = false;
};

}  // namespace

std::uint32_t ComputeImageChecksum(const std::string& path) {
  if (path.empty()) return 0;
  TMappedImage mapped(path);
  DWORD computed = 0;
  std::exception_ptr failure;
  try {
    const auto sum = Bound<CheckSumMappedFileFn>(check_sum_mapped_file, "CheckSumMappedFile");
    DWORD stored = 0;  // the header's old value, of no use here
    // For a file mapped this way SizeOfImage is the file's length, not the image's.
    if (sum(mapped.image().MappedAddress, mapped.image().SizeOfImage, &stored, &computed) ==
        nullptr) {
      const DWORD error = GetLastError();
      if (error == 0) throw Exception(kOSFunctionFailedText);
      throw OSError(error);
    }
  } catch (...) {
    failure = std::current_exception();
  }
  // The caller rewrites the file at once, so the mapping goes before either outcome leaves. A
  // failure of the sum is the first fault and the one raised; otherwise a failure to bind
  // UnMapAndLoad is.
  try {
    mapped.Release();
  } catch (...) {
    if (!failure) throw;
  }
  if (failure) std::rethrow_exception(failure);
  return computed;
}

}  // namespace marivane::platform
