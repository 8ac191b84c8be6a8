// The Win32 side of the displayable images, for the window that draws them.
#pragma once

#include <windows.h>

#include "platform/platform.h"

namespace marivane::platform {

class TWin32Bitmap final : public TDisplayImage {
 public:
  explicit TWin32Bitmap(HBITMAP bitmap) : bitmap_(bitmap) {}
  ~TWin32Bitmap() override { DeleteObject(bitmap_); }
  TWin32Bitmap(const TWin32Bitmap&) = delete;
  TWin32Bitmap& operator=(const TWin32Bitmap&) = delete;
  HBITMAP handle() const { return bitmap_; }

 private:
  HBITMAP bitmap_;
};

class TWin32Icon final : public TDisplayImage {
 public:
  explicit TWin32Icon(HICON icon) : icon_(icon) {}
  ~TWin32Icon() override { DestroyIcon(icon_); }
  TWin32Icon(const TWin32Icon&) = delete;
  TWin32Icon& operator=(const TWin32Icon&) = delete;
  HICON handle() const { return icon_; }

 private:
  HICON icon_;
};

class TWin32Metafile final : public TDisplayImage {
 public:
  explicit TWin32Metafile(HENHMETAFILE metafile) : metafile_(metafile) {}
  ~TWin32Metafile() override { DeleteEnhMetaFile(metafile_); }
  TWin32Metafile(const TWin32Metafile&) = delete;
  TWin32Metafile& operator=(const TWin32Metafile&) = delete;
  HENHMETAFILE handle() const { return metafile_; }

 private:
  HENHMETAFILE metafile_;
};

}  // namespace marivane::platform
