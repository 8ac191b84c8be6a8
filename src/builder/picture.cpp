#include "builder/picture.h"

#include <algorithm>
#include <cctype>

#include "base/errors.h"

namespace marivane {

const char* PixelFormatName(TPixelFormat format) {
  switch (format) {
    case TPixelFormat::Device: return "device";
    case TPixelFormat::Bit1: return "1-bit";
    case TPixelFormat::Bit4: return "4-bit";
    case TPixelFormat::Bit8: return "8-bit";
    case TPixelFormat::Bit15: return "15-bit";
    case TPixelFormat::Bit16: return "16-bit";
    case TPixelFormat::Bit24: return "24-bit";
    case TPixelFormat::Bit32: return "32-bit";
    case TPixelFormat::Custom: return "custom";
  }
  return "custom";
}

const char* PictureKindName(TPictureKind kind) {
  switch (kind) {
    case TPictureKind::Empty: return "empty";
    case TPictureKind::Bitmap: return "bitmap";
    case TPictureKind::Icon: return "icon";
    case TPictureKind::Metafile: return "metafile";
  }
  return "empty";
}

TPicture TPicture::FromBitmap(const TBitmap& bitmap) {
  TPicture picture;
  // An empty bitmap is still a bitmap: it reports 0 x 0 and the device format.
  picture.kind_ = TPictureKind::Bitmap;
  picture.width_ = bitmap.width;
  picture.height_ = bitmap.height;
  picture.pixel_format_ = bitmap.pixel_format;
  picture.image_ = bitmap.image;
  return picture;
}

TPicture TPicture::FromIcon(std::int32_t width, std::int32_t height,
                            std::shared_ptr<platform::TDisplayImage> image) {
  TPicture picture;
  picture.kind_ = TPictureKind::Icon;
  picture.width_ = width;
  picture.height_ = height;
  picture.image_ = std::move(image);
  return picture;
}

TPicture TPicture::FromMetafile(std::int32_t width, std::int32_t height,
                                std::shared_ptr<platform::TDisplayImage> image) {
  TPicture picture = FromIcon(width, height, std::move(image));
  picture.kind_ = TPictureKind::Metafile;
  return picture;
}

void TPicture::TakeAsBitmap() {
  if (kind_ == TPictureKind::Icon || kind_ == TPictureKind::Metafile) *this = FromBitmap(TBitmap{});
}

std::string PictureExtension(const std::string& path) {
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos) return "";
  // A full stop inside a folder name (or a drive name) does not start an extension.
  if (path.find_first_of("\\/:", dot + 1) != std::string::npos) return "";
  return path.substr(dot + 1);
}

TPictureKind PictureKindForExtension(const std::string& extension) {
  std::string lower = extension;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (lower == "bmp") return TPictureKind::Bitmap;
  if (lower == "ico") return TPictureKind::Icon;
  if (lower == "wmf" || lower == "emf") return TPictureKind::Metafile;
  return TPictureKind::Empty;
}

TPicture ReadPicture(TPictureKind kind, TStream& stream) {
  switch (kind) {
    case TPictureKind::Bitmap: return TPicture::FromBitmap(ReadBitmapFile(stream, stream.Size()));
    case TPictureKind::Icon: return ReadIconFile(stream);
    case TPictureKind::Metafile: return ReadMetafileFile(stream);
    case TPictureKind::Empty: break;
  }
  return TPicture{};
}

void LoadPictureFile(TPicture& picture, const std::string& path) {
  const std::string extension = PictureExtension(path);
  const TPictureKind kind = PictureKindForExtension(extension);
  // Decided from the name alone: the file is not opened for an unlisted extension.
  if (kind == TPictureKind::Empty)
    throw EInvalidGraphic("Unknown picture file extension (." + extension + ")");
  const std::unique_ptr<TStream> file = platform::OpenFileForReading(path);
  // The new picture replaces the old only once it has been read whole.
  picture = ReadPicture(kind, *file);
}

}  // namespace marivane
