// What both platforms build the same way on top of their own file access.
#include "platform/platform.h"

#include <limits>

namespace marivane::platform {

EOSError OSError(std::uint32_t code) { return EOSError(code, SystemErrorText(code)); }

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  const std::unique_ptr<TStream> file = OpenFileForReading(path);
  // On the 32-bit build a file of 4 GiB or more has no size_t; cut to 32 bits, its size would
  // read as a small file's and the rest would be dropped without a word.
  // 0: the system opened it; the refusal is ours.
  if (file->Size() > std::numeric_limits<std::size_t>::max())
    throw EFOpenError(CannotOpenFileMessage(path, kTooLargeToReadText), 0);
  TStreamReader reader(*file);
  return reader.ReadExact(static_cast<std::size_t>(file->Size()));
}

}  // namespace marivane::platform
