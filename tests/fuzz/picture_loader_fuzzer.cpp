// libFuzzer target for the picture readers. The first byte picks the kind, as the extension
// would; the rest is the file. Any error kind of our own is a fine answer; anything else (a
// crash, a sanitizer report, a hang, an allocation beyond the caps) is a fault.
#include <cstddef>
#include <cstdint>
#include <span>

#include "base/errors.h"
#include "builder/picture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  using marivane::TPictureKind;
  static constexpr TPictureKind kKinds[] = {TPictureKind::Bitmap, TPictureKind::Icon,
                                           TPictureKind::Metafile};
  const TPictureKind kind = kKinds[data[0] % 3];
  marivane::TMemoryStream stream(std::span(data + 1, size - 1));
  try {
    const marivane::TPicture picture = marivane::ReadPicture(kind, stream);
    // A bitmap always reports what its header declared, within the reader's limits.
    if (picture.kind() == TPictureKind::Bitmap && (picture.width() < 0 || picture.height() < 0))
      __builtin_trap();
  } catch (const marivane::Exception&) {
  }
  return 0;
}
