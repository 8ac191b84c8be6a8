// The image checksum computed from the file's bytes, by the same rule as Windows' own.
#include "platform/image_checksum.h"

#include <cerrno>

#include "base/errors.h"
#include "module/pe_checksum.h"
#include "platform/platform.h"

namespace marivane::platform {

std::uint32_t ComputeImageChecksum(const std::string& path) {
  if (path.empty()) return 0;
  std::vector<std::uint8_t> bytes;
  try {
    bytes = ReadWholeFile(path);
  } catch (const EFOpenError& error) {
    // The same texts as a failed mapping on Windows: a missing file by name, anything else by
    // the system's error code.
    if (error.code() == ENOENT) throw Exception(CannotOpenModuleMessage(path));
    throw OSError(error.code());
  }
  const std::optional<std::uint32_t> checksum = module::ComputePeChecksum(bytes);
  if (!checksum) throw Exception(kNotPeFormatText);
  return *checksum;
}

}  // namespace marivane::platform
