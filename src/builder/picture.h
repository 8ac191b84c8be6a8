// The picture a slot holds: empty, a bitmap, an icon or a metafile, decoded from a file for
// the preview and the validity test. The file itself is never rewritten.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/stream.h"
#include "platform/platform.h"

namespace marivane {

enum class TPixelFormat { Device, Bit1, Bit4, Bit8, Bit15, Bit16, Bit24, Bit32, Custom };
enum class TPictureKind { Empty, Bitmap, Icon, Metafile };

const char* PixelFormatName(TPixelFormat format);
const char* PictureKindName(TPictureKind kind);

struct TBitmap {
  std::int32_t width = 0;
  std::int32_t height = 0;  // always the number of rows, whichever way they are stored
  TPixelFormat pixel_format = TPixelFormat::Device;
  std::shared_ptr<platform::TDisplayImage> image;  // null for an empty bitmap
};

class TPicture {
 public:
  TPictureKind kind() const { return kind_; }
  std::int32_t width() const { return width_; }
  std::int32_t height() const { return height_; }
  // Meaningful for bitmaps only; icons and metafiles have none.
  TPixelFormat pixel_format() const { return pixel_format_; }
  const std::shared_ptr<platform::TDisplayImage>& image() const { return image_; }

  static TPicture FromBitmap(const TBitmap& bitmap);
  static TPicture FromIcon(std::int32_t width, std::int32_t height,
                           std::shared_ptr<platform::TDisplayImage> image);
  static TPicture FromMetafile(std::int32_t width, std::int32_t height,
                               std::shared_ptr<platform::TDisplayImage> image);

  // The picture taken as a bitmap: an icon or a metafile is discarded and an empty bitmap takes
  // its place; a bitmap (or an empty picture) stays as it is.
  void TakeAsBitmap();

 private:
  TPictureKind kind_ = TPictureKind::Empty;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  TPixelFormat pixel_format_ = TPixelFormat::Device;
  std::shared_ptr<platform::TDisplayImage> image_;
};

// The readers, one per kind; each reads the stream from its current position to its end.
TBitmap ReadBitmapFile(TStream& stream, std::uint64_t size);
TPicture ReadIconFile(TStream& stream);
TPicture ReadMetafileFile(TStream& stream);

// The picture kind that a file's extension names, or Empty for an unlisted one. The extension
// is the text after the last full stop, unless a backslash or colon follows that full stop.
std::string PictureExtension(const std::string& path);
TPictureKind PictureKindForExtension(const std::string& extension);

// Reads a whole picture of the given kind from a stream.
TPicture ReadPicture(TPictureKind kind, TStream& stream);

// Loads a picture file into `picture`. On failure raises EInvalidGraphic, EFOpenError,
// EReadError or EOSError and leaves `picture` exactly as it was.
void LoadPictureFile(TPicture& picture, const std::string& path);

}  // namespace marivane
