// The Win32 side of the displayable images, for the window that draws them: each one owns
// the GDI object or icon the system made of the picture.
#pragma once

#include "platform/platform.h"
#include "platform/win32_handles.h"

namespace marivane::platform {

template <typename TOwnedHandle>
class TWin32Image final : public TDisplayImage {
 public:
  explicit TWin32Image(TOwnedHandle handle) : handle_(std::move(handle)) {}
  auto Handle() const { return handle_.Get(); }

 private:
  TOwnedHandle handle_;
};

using TWin32Bitmap = TWin32Image<TBitmapHandle>;
using TWin32Icon = TWin32Image<TIconHandle>;
using TWin32Metafile = TWin32Image<TMetafileHandle>;

}  // namespace marivane::platform
