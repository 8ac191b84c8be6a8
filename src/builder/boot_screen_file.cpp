#include "builder/boot_screen_file.h"

#include <new>

#include "base/errors.h"
#include "base/little_endian.h"
#include "builder/boot_screen_builder.h"
#include "builder/save_messages.h"
#include "platform/image_checksum.h"
#include "platform/platform.h"

namespace marivane {

std::vector<std::uint8_t> SpliceIntoTemplate(std::vector<std::uint8_t> file,
                                             const std::vector<std::uint8_t>& wim) {
  // The template must reach the slot; a shorter one is cut short, as a short read is.
  if (file.size() < kSlotOffset) throw EReadError();
  PutU32(file, kSlotSizeFieldOffset, static_cast<std::uint32_t>(wim.size()));
  const auto slot = file.insert(file.begin() + kSlotOffset, kSlotSize, 0);
  std::copy(wim.begin(), wim.end(), slot);
  return file;
}

// The whole file is put together in memory; running out of it anywhere here is said as the
// user would hear it of a memory stream that cannot grow, not as the library's bad_alloc.
bool TBootScreenBuilder::BuildBootScreenFile() try {
  const std::vector<std::uint8_t> wim = platform::ReadWholeFile(WimPath);
  wim_size_ = wim.size();
  if (wim.size() > kSlotSize) {
    ui_.ShowMessageBox(kWimTooBigMessage, kUnableToSaveCaption, TMessageIcon::Error);
    return false;
  }
  std::vector<std::uint8_t> file = SpliceIntoTemplate(platform::ReadWholeFile(WorkMuiPath), wim);
  platform::WriteWholeFile(WorkMuiPath, file);
  // Summed from the file as saved; the field's old value is taken out by the rule itself.
  PutU32(file, kChecksumFieldOffset, platform::ComputeImageChecksum(WorkMuiPath));
  platform::WriteWholeFile(WorkMuiPath, file);
  return true;
} catch (const std::bad_alloc&) {
  throw EOutOfMemory();
}

}  // namespace marivane
