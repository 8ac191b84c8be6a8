// The image checksum of a module file, by the rule of the system's CheckSumMappedFile: on
// Windows by imagehlp.dll itself, elsewhere from the file's bytes (module/pe_checksum.h).
#pragma once

#include <cstdint>
#include <string>

namespace marivane::platform {

// 0 for an empty path. Raises "This is not a PE format", "Cannot open file \"%s\"", or the
// system failure "System Error.  Code: %d.\r\n%s"; the file is no longer open when it returns.
std::uint32_t ComputeImageChecksum(const std::string& path);

}  // namespace marivane::platform
