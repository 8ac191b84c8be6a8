// The Win32 side of the displayable images, for the window that draws them: each one owns
// the GDI object or icon the system made of the picture; and what more than one part of the
// Win32 platform layer asks of a file.
#pragma once

#include <cstdint>
#include <string>
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

// An HRESULT or other 32-bit code as the record shows it: "0x80041002".
std::string HexCode(std::uint32_t code);

// Arguments joined into one command line, each quoted so that the C runtime's parser of the
// program that gets it (bcdedit's, ours) gives it back as it was, whatever spaces or quotes it
// holds.
std::string QuotedArguments(const std::vector<std::string>& arguments);

// UTF-16 text from the system in the 8-bit code page our paths and texts use (ToWidePath's
// way back).
std::string NarrowText(const wchar_t* text);

}  // namespace marivane::platform
