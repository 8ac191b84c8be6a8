// The image checksum on Windows, by imagehlp.dll itself. Its three functions are bound by name
// on first use, so that the program starts on a system without the library.
#include <windows.h>
#include <imagehlp.h>

#include <bit>

#include "base/errors.h"
#include "platform/image_checksum.h"
#include "platform/owned.h"
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
    if (library == nullptr) throw Exception(std::string("Library not found: ") + kImagehlp);
    slot = GetProcAddress(library, function);
    if (slot == nullptr)
      throw Exception(std::string("Function not found: ") + kImagehlp + "." + function);
  }
  return std::bit_cast<Fn>(slot);
}

// The mapping, released however the sum ends.
class TMappedImage : platform::TNonCopyable {
 public:
  explicit TMappedImage(const std::string& path) {
    const auto map = Bound<MapAndLoadFn>(map_and_load, "MapAndLoad");
    if (!map(path.c_str(), nullptr, &image_, TRUE, TRUE)) {
      const DWORD error = GetLastError();
      image_ = {};
      if (error == 0) throw Exception("This is not a PE format");
      if (error == ERROR_FILE_NOT_FOUND) throw Exception("Cannot open file \"" + path + "\"");
      throw OSError(error);
    }
  }
  ~TMappedImage() {
    // A failure to bind here has nothing left to report to; the mapping then stays.
    try {
      Bound<UnMapAndLoadFn>(un_map_and_load, "UnMapAndLoad")(&image_);
    } catch (...) {
    }
    image_ = {};
  }
  LOADED_IMAGE& image() { return image_; }

 private:
  LOADED_IMAGE image_{};
};

}  // namespace

std::uint32_t ComputeImageChecksum(const std::string& path) {
  if (path.empty()) return 0;
  TMappedImage mapped(path);
  const auto sum = Bound<CheckSumMappedFileFn>(check_sum_mapped_file, "CheckSumMappedFile");
  DWORD stored = 0;  // the header's old value, of no use here
  DWORD computed = 0;
  // For a file mapped this way SizeOfImage is the file's length, not the image's.
  if (sum(mapped.image().MappedAddress, mapped.image().SizeOfImage, &stored, &computed) == nullptr) {
    const DWORD error = GetLastError();
    if (error == 0) throw Exception("A call to an OS function failed");
    throw OSError(error);
  }
  return computed;
}

}  // namespace marivane::platform
