// Decoding pictures on Linux through the libraries Debian keeps patched: libpng, libjpeg-turbo,
// giflib and libtiff. Windows bitmaps and icons are our own (picture_decoder_bitmap.cpp).
//
// libpng and libjpeg report a fatal error by longjmp from their error callback. Each such
// library is driven from one function that calls setjmp first and holds no C++ object of its
// own: everything with a destructor (the pixel vector, the guard that frees the library's
// state) lives in its caller, so the jump skips only the libraries' C frames and our plain
// callbacks, and the caller turns the saved message into an exception.
//
// What a library hands out is owned the one way: a TOwned for a single object with its release
// function, a TNonCopyable guard where libpng and libjpeg keep state in pairs.
#include <algorithm>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include "base/errors.h"
#include "base/owned.h"
#include "platform/picture_decoder.h"
#include "platform/picture_decoder_posix.h"
#include "platform/platform.h"

namespace marivane::platform {
namespace {

constexpr std::size_t kMessageSize = 256;

// --- PNG ---

struct TPngState {
  std::span<const std::uint8_t> data;
  std::size_t at = 0;
  std::jmp_buf jump;
  char message[kMessageSize] = "";
};

void PngError(png_structp png, png_const_charp message) {
  auto* state = static_cast<TPngState*>(png_get_error_ptr(png));
  std::snprintf(state->message, kMessageSize, "%s", message);
  std::longjmp(state->jump, 1);
}

void PngWarning(png_structp, png_const_charp) {}  // a warning leaves a picture readable

void PngRead(png_structp png, png_bytep out, std::size_t count) {
  auto* state = static_cast<TPngState*>(png_get_io_ptr(png));
  if (state->data.size() - state->at < count) png_error(png, "the file ends inside the picture");
  std::memcpy(out, state->data.data() + state->at, count);
  state->at += count;
}

class TPngGuard : TNonCopyable {
 public:
  explicit TPngGuard(TPngState& state)
      : png_(png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, PngError, PngWarning)),
        info_(png_ != nullptr ? png_create_info_struct(png_) : nullptr) {}
  ~TPngGuard() { png_destroy_read_struct(&png_, &info_, nullptr); }
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  png_structp png_;
  png_infop info_;
};

// False with state.message set when libpng gave up. Every transformation asks for 8-bit
// blue, green, red, alpha: palettes and greys widened, 16 bits scaled down, alpha added
// (opaque) where the file has none, a tRNS chunk turned into alpha.
bool ReadPng(png_structp png, png_infop info, TPngState& state, const std::string& name,
             TDecodedPicture& out, std::vector<png_bytep>& rows) {
  if (setjmp(state.jump) != 0) return false;
  png_set_read_fn(png, &state, PngRead);
  png_read_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  CheckPictureSize(name, width, height);
  png_set_expand(png);
  png_set_scale_16(png);
  png_set_gray_to_rgb(png);
  png_set_bgr(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != std::size_t{width} * 4)
    png_error(png, "unexpected row size after conversion");
  out.width = static_cast<std::int32_t>(width);
  out.height = static_cast<std::int32_t>(height);
  out.bgra.resize(std::size_t{width} * height * 4);
  rows.resize(height);
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = out.bgra.data() + std::size_t{y} * width * 4;
  png_read_image(png, rows.data());
  return true;
}

TDecodedPicture DecodePng(std::span<const std::uint8_t> file, const std::string& name) {
  TPngState state;
  state.data = file;
  TPngGuard guard(state);
  if (guard.info() == nullptr) RefusePicture(name, "there is not enough memory to read it");
  TDecodedPicture out;
  std::vector<png_bytep> rows;
  if (!ReadPng(guard.png(), guard.info(), state, name, out, rows))
    RefusePicture(name, std::string("the PNG data is damaged (") + state.message + ")");
  return out;
}

// --- JPEG ---

// libjpeg's own working memory (coefficients of a progressive picture above all): the pixel
// cap keeps it near 240 MB, this stops a file that asks for more in other ways.
constexpr long kMaxJpegMemory = 512L << 20;

struct TJpegState {
  jpeg_error_mgr manager;  // first, so that the library's pointer to it is a pointer to us
  jpeg_progress_mgr progress;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX > kMessageSize ? JMSG_LENGTH_MAX : kMessageSize] = "";
  bool created = false;
};

void JpegErrorExit(j_common_ptr info) {
  auto* state = reinterpret_cast<TJpegState*>(info->err);
  (*info->err->format_message)(info, state->message);
  std::longjmp(state->jump, 1);
}

void JpegOutputMessage(j_common_ptr) {}  // warnings (a truncated scan) leave what was decoded

// CheckPictureLimits has counted the scans already; this stops any that its walk did not see.
void JpegProgress(j_common_ptr info) {
  auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
  if (decompress->input_scan_number > static_cast<int>(kMaxJpegScans)) {
    auto* state = reinterpret_cast<TJpegState*>(info->err);
    std::snprintf(state->message, sizeof state->message, "more than %d scans",
                  static_cast<int>(kMaxJpegScans));
    std::longjmp(state->jump, 1);
  }
}

struct TJpegGuard : TNonCopyable {
  jpeg_decompress_struct info{};
  TJpegState state{};
  ~TJpegGuard() {
    if (state.created) jpeg_destroy_decompress(&info);
  }
};

bool ReadJpeg(TJpegGuard& guard, std::span<const std::uint8_t> file, const std::string& name,
              TDecodedPicture& out, std::vector<std::uint8_t>& cmyk_row) {
  jpeg_decompress_struct& info = guard.info;
  info.err = jpeg_std_error(&guard.state.manager);
  guard.state.manager.error_exit = JpegErrorExit;
  guard.state.manager.output_message = JpegOutputMessage;
  if (setjmp(guard.state.jump) != 0) return false;
  jpeg_create_decompress(&info);
  guard.state.created = true;
  info.mem->max_memory_to_use = kMaxJpegMemory;
  guard.state.progress.progress_monitor = JpegProgress;
  info.progress = &guard.state.progress;
  jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&info, TRUE);
  CheckPictureSize(name, info.image_width, info.image_height);
  // CMYK (and its YCCK form) cannot be turned into BGRA by the library; we do it below.
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
  jpeg_start_decompress(&info);
  const std::size_t width = info.output_width;
  out.width = static_cast<std::int32_t>(width);
  out.height = static_cast<std::int32_t>(info.output_height);
  out.bgra.resize(width * info.output_height * 4);
  if (cmyk) cmyk_row.resize(width * 4);
  while (info.output_scanline < info.output_height) {
    std::uint8_t* row = out.bgra.data() + std::size_t{info.output_scanline} * width * 4;
    JSAMPROW target = cmyk ? cmyk_row.data() : row;
    if (jpeg_read_scanlines(&info, &target, 1) != 1) break;
    if (!cmyk) continue;
    // Photoshop, which writes nearly every CMYK JPEG, stores the inks inverted (its Adobe
    // marker says so): then 255 is no ink and a channel is simply colour times black.
    const bool inverted = info.saw_Adobe_marker;
    for (std::size_t x = 0; x < width; ++x) {
      unsigned c = cmyk_row[4 * x], m = cmyk_row[4 * x + 1], y = cmyk_row[4 * x + 2],
               k = cmyk_row[4 * x + 3];
      if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
      row[4 * x] = static_cast<std::uint8_t>((y * k + 127) / 255);
      row[4 * x + 1] = static_cast<std::uint8_t>((m * k + 127) / 255);
      row[4 * x + 2] = static_cast<std::uint8_t>((c * k + 127) / 255);
      row[4 * x + 3] = 255;
    }
  }
  return true;
}

TDecodedPicture DecodeJpeg(std::span<const std::uint8_t> file, const std::string& name) {
  TJpegGuard guard;
  TDecodedPicture out;
  std::vector<std::uint8_t> cmyk_row;
  if (!ReadJpeg(guard, file, name, out, cmyk_row))
    RefusePicture(name, std::string("the JPEG data is damaged (") + guard.state.message + ")");
  return out;
}

// --- GIF ---

struct TGifSource {
  std::span<const std::uint8_t> data;
  std::size_t at = 0;
};

int GifRead(GifFileType* gif, GifByteType* out, int count) {
  auto* source = static_cast<TGifSource*>(gif->UserData);
  const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(count),
                                              source->data.size() - source->at);
  std::memcpy(out, source->data.data() + source->at, n);
  source->at += n;
  return static_cast<int>(n);
}

void CloseGif(GifFileType* gif) {
  int error = 0;
  DGifCloseFile(gif, &error);
}

[[noreturn]] void RefuseGif(const std::string& name, int code) {
  const char* text = GifErrorString(code);
  RefusePicture(name, std::string("the GIF data is damaged (") +
                          (text != nullptr ? text : "unknown error") + ")");
}

// The first image of the file, as large as its own descriptor says (the logical screen around
// it is the animation's business). Its graphic control extension, if one comes before it,
// names the transparent colour.
TDecodedPicture DecodeGif(std::span<const std::uint8_t> file, const std::string& name) {
  TGifSource source{file, 0};
  int error = 0;
  const TOwned<GifFileType*, &CloseGif> owned(DGifOpen(&source, GifRead, &error));
  if (!owned) RefuseGif(name, error);
  GifFileType* const gif = owned.Get();
  int transparent = -1;
  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) RefuseGif(name, gif->Error);
    if (type == TERMINATE_RECORD_TYPE) RefusePicture(name, "the GIF file holds no picture");
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) RefuseGif(name, gif->Error);
      // +0 length (4), +1 flags (bit 0: a transparent colour), +4 its index.
      if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4)
        transparent = (block[1] & 1) != 0 ? block[4] : -1;
      while (block != nullptr) {
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) RefuseGif(name, gif->Error);
      }
      continue;
    }
    if (type != IMAGE_DESC_RECORD_TYPE) continue;
    if (DGifGetImageDesc(gif) == GIF_ERROR) RefuseGif(name, gif->Error);
    const int width = gif->Image.Width;
    const int height = gif->Image.Height;
    CheckPictureSize(name, static_cast<std::uint64_t>(std::max(width, 0)),
                     static_cast<std::uint64_t>(std::max(height, 0)));
    const ColorMapObject* map =
        gif->Image.ColorMap != nullptr ? gif->Image.ColorMap : gif->SColorMap;
    if (map == nullptr) RefusePicture(name, "the GIF file has no colour table");
    TDecodedPicture out;
    out.width = width;
    out.height = height;
    out.bgra.resize(static_cast<std::size_t>(width) * height * 4);
    std::vector<GifPixelType> line(static_cast<std::size_t>(width));
    // An interlaced image comes in four passes: every 8th row from 0, every 8th from 4,
    // every 4th from 2, every 2nd from 1.
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    const int passes = gif->Image.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
      const int step = passes == 1 ? 1 : kStep[pass];
      for (int y = passes == 1 ? 0 : kStart[pass]; y < height; y += step) {
        if (DGifGetLine(gif, line.data(), width) == GIF_ERROR) RefuseGif(name, gif->Error);
        std::uint8_t* row = out.bgra.data() + static_cast<std::size_t>(y) * width * 4;
        for (int x = 0; x < width; ++x, row += 4) {
          const int index = line[x];
          // An index past a short colour table is drawn black, as viewers do.
          if (index < map->ColorCount) {
            row[0] = map->Colors[index].Blue;
            row[1] = map->Colors[index].Green;
            row[2] = map->Colors[index].Red;
          }
          row[3] = index == transparent ? 0 : 255;
        }
      }
    }
    return out;
  }
}

// --- TIFF ---

// libtiff's own allocations for one strip or tile; a real one is a few megabytes.
constexpr tmsize_t kMaxTiffAllocation = 256 << 20;

struct TTiffSource {
  std::span<const std::uint8_t> data;
  std::uint64_t at = 0;
  char message[kMessageSize] = "";
};

tmsize_t TiffRead(thandle_t handle, void* out, tmsize_t count) {
  auto* source = static_cast<TTiffSource*>(handle);
  if (count <= 0 || source->at >= source->data.size()) return 0;
  const std::uint64_t n =
      std::min<std::uint64_t>(static_cast<std::uint64_t>(count), source->data.size() - source->at);
  std::memcpy(out, source->data.data() + source->at, n);
  source->at += n;
  return static_cast<tmsize_t>(n);
}
tmsize_t TiffWrite(thandle_t, void*, tmsize_t) { return 0; }
toff_t TiffSeek(thandle_t handle, toff_t offset, int whence) {
  auto* source = static_cast<TTiffSource*>(handle);
  const std::uint64_t base = whence == SEEK_CUR ? source->at
                             : whence == SEEK_END ? source->data.size()
                                                  : 0;
  source->at = base + offset;  // a seek past the end is allowed; the next read gets nothing
  return source->at;
}
int TiffClose(thandle_t) { return 0; }
toff_t TiffSize(thandle_t handle) { return static_cast<TTiffSource*>(handle)->data.size(); }
// Mapping the bytes we already hold spares libtiff a copy of every strip.
int TiffMap(thandle_t handle, void** base, toff_t* size) {
  auto* source = static_cast<TTiffSource*>(handle);
  *base = const_cast<std::uint8_t*>(source->data.data());  // libtiff only reads a read-only map
  *size = source->data.size();
  return 1;
}
void TiffUnmap(thandle_t, void*, toff_t) {}

int TiffError(TIFF*, void* user, const char*, const char* format, va_list args) {
  auto* source = static_cast<TTiffSource*>(user);
  if (source->message[0] == '\0') std::vsnprintf(source->message, kMessageSize, format, args);
  return 1;
}
int TiffWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

void CloseTiff(TIFF* tiff) { TIFFClose(tiff); }
void FreeTiffOptions(TIFFOpenOptions* options) { TIFFOpenOptionsFree(options); }

void FlipRows(TDecodedPicture& picture) {
  const std::size_t stride = static_cast<std::size_t>(picture.width) * 4;
  for (std::int32_t top = 0, bottom = picture.height - 1; top < bottom; ++top, --bottom)
    std::swap_ranges(picture.bgra.begin() + top * stride, picture.bgra.begin() + (top + 1) * stride,
                     picture.bgra.begin() + bottom * stride);
}

void FlipColumns(TDecodedPicture& picture) {
  for (std::int32_t y = 0; y < picture.height; ++y) {
    std::uint8_t* row = picture.bgra.data() + static_cast<std::size_t>(y) * picture.width * 4;
    for (std::int32_t left = 0, right = picture.width - 1; left < right; ++left, --right)
      std::swap_ranges(row + 4 * left, row + 4 * left + 4, row + 4 * right);
  }
}

TDecodedPicture DecodeTiff(std::span<const std::uint8_t> file, const std::string& name) {
  TTiffSource source{file, 0, ""};
  const TOwned<TIFFOpenOptions*, &FreeTiffOptions> options(TIFFOpenOptionsAlloc());
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.Get(), kMaxTiffAllocation);
  TIFFOpenOptionsSetErrorHandlerExtR(options.Get(), TiffError, &source);
  TIFFOpenOptionsSetWarningHandlerExtR(options.Get(), TiffWarning, &source);
  const TOwned<TIFF*, &CloseTiff> owned(TIFFClientOpenExt(name.c_str(), "r", &source, TiffRead,
                                                          TiffWrite, TiffSeek, TiffClose, TiffSize,
                                                          TiffMap, TiffUnmap, options.Get()));
  const auto damaged = [&] {
    RefusePicture(name, std::string("the TIFF data is damaged (") +
                            (source.message[0] != '\0' ? source.message : "unreadable") + ")");
  };
  if (!owned) damaged();
  TIFF* const tiff = owned.Get();
  std::uint32_t width = 0, height = 0;
  if (TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width) != 1 ||
      TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height) != 1)
    damaged();
  CheckPictureSize(name, width, height);
  // Both look only at the tags: a layout the library has no routine for (16-bit CMYK, say)
  // is refused here, "Sorry, can not handle image", before any pixel is read.
  char reason[1024] = "";
  TIFFRGBAImage raster{};
  if (TIFFRGBAImageOK(tiff, reason) != 1 ||
      TIFFRGBAImageBegin(&raster, tiff, 1, reason) != 1)
    RefusePicture(name, std::string("this kind of TIFF picture is not supported (") + reason + ")");
  const TOwned<TIFFRGBAImage*, &TIFFRGBAImageEnd> begun(&raster);
  TDecodedPicture out;
  out.width = static_cast<std::int32_t>(width);
  out.height = static_cast<std::int32_t>(height);
  out.bgra.resize(std::size_t{width} * height * 4);
  // The raster is read straight into our pixels: 32-bit values of red in the low byte up to
  // alpha in the high one, which on our little-endian hosts is R, G, B, A in memory.
  raster.req_orientation = ORIENTATION_TOPLEFT;
  if (TIFFRGBAImageGet(&raster, reinterpret_cast<std::uint32_t*>(out.bgra.data()), width,
                       height) != 1)
    damaged();
  // libtiff already mirrors pictures whose orientation tag says so (though it never turns a
  // quarter); the builder turns by that tag itself, so the mirroring is undone here and the
  // picture handed on as stored, as from every other decoder.
  std::uint16_t orientation = ORIENTATION_TOPLEFT;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &orientation);
  switch (orientation) {
    case ORIENTATION_TOPRIGHT: case ORIENTATION_RIGHTTOP: FlipColumns(out); break;
    case ORIENTATION_BOTRIGHT: case ORIENTATION_RIGHTBOT: FlipColumns(out); FlipRows(out); break;
    case ORIENTATION_BOTLEFT: case ORIENTATION_LEFTBOT: FlipRows(out); break;
    default: break;
  }
  // The library hands alpha premultiplied; ours is straight.
  for (std::size_t i = 0; i < out.bgra.size(); i += 4) {
    std::uint8_t* p = &out.bgra[i];
    std::swap(p[0], p[2]);
    const unsigned alpha = p[3];
    if (alpha != 0 && alpha != 255) {
      for (int c = 0; c < 3; ++c)
        p[c] = static_cast<std::uint8_t>(std::min(255u, (p[c] * 255u + alpha / 2) / alpha));
    }
  }
  return out;
}

bool StartsWith(std::span<const std::uint8_t> file, const char* magic, std::size_t length) {
  return file.size() >= length && std::memcmp(file.data(), magic, length) == 0;
}

}  // namespace

TDecodedPicture DecodePictureBytes(std::span<const std::uint8_t> file, const std::string& name) {
  CheckPictureLimits(file, name);
  if (StartsWith(file, "\x89PNG\r\n\x1a\n", 8)) return DecodePng(file, name);
  if (StartsWith(file, "\xFF\xD8\xFF", 3)) return DecodeJpeg(file, name);
  if (StartsWith(file, "GIF87a", 6) || StartsWith(file, "GIF89a", 6)) return DecodeGif(file, name);
  if (StartsWith(file, "II*\0", 4) || StartsWith(file, "MM\0*", 4)) return DecodeTiff(file, name);
  if (StartsWith(file, "BM", 2)) return DecodeBitmapBytes(file, name);
  // An icon starts with a zero word and type 1; a cursor (type 2) is the same format.
  if (StartsWith(file, "\0\0\1\0", 4) || StartsWith(file, "\0\0\2\0", 4))
    return DecodeIconBytes(file, name);
  RefusePicture(name, "it is not a PNG, JPEG, GIF, TIFF, BMP or ICO picture");
}

TDecodedPicture DecodePictureFile(const std::string& path) {
  return DecodePictureBytes(ReadWholeFile(path), path);
}

}  // namespace marivane::platform
