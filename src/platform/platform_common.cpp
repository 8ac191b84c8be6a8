// What both platforms build the same way on top of their own file access.
#include "platform/platform.h"

namespace marivane::platform {

EOSError OSError(std::uint32_t code) { return EOSError(code, SystemErrorText(code)); }

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  const std::unique_ptr<TStream> file = OpenFileForReading(path);
  TStreamReader reader(*file);
  return reader.ReadExact(static_cast<std::size_t>(file->Size()));
}

}  // namespace marivane::platform
