// The Win32 side of the displayable images, for the window that draws them: each one owns
// the GDI object or icon the system made of the picture; and what more than one part of the
// Win32 platform layer asks of a file.
#pragma once

#include <cstdint>
#include <vector>

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

// The parts `what` of the security descriptor of the file or folder at `path`, in the
// self-relative form; empty when the system will not give them.
std::vector<std::uint8_t> FileSecurityOf(const std::string& path, SECURITY_INFORMATION what);

}  // namespace marivane::platform
