// Importing a picture into a slot: the EXIF turn, alpha over black, the resampling filter and
// the 24-bit bitmap that comes out. Everything after the decoder is ours, so Windows and Linux
// give the same pixels from the same decoded picture.
#include "builder/picture_import.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <exception>
#include <memory>
#include <numbers>
#include <string_view>

#include "base/bitmap_format.h"
#include "base/byte_reader.h"
#include "base/errors.h"
#include "base/little_endian.h"
#include "base/stream.h"
#include "platform/platform.h"

namespace marivane {
namespace {

// --- EXIF orientation ---

constexpr std::uint16_t kTagOrientation = 0x0112;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::size_t kIfdEntrySize = 12;
constexpr std::uint8_t kExifSignature[6] = {'E', 'x', 'i', 'f', 0, 0};

// A TIFF header and its IFDs, in whichever byte order the header names ("II" or "MM"). Reads
// go through TByteReader, so a forged offset raises EReadError, which the caller takes as
// "no orientation".
class TTiffView {
 public:
  explicit TTiffView(std::span<const std::uint8_t> tiff) : bytes_(tiff) {}

  bool BigEndian() const { return bytes_.U8(0) == 'M'; }
  std::uint16_t U16(std::uint64_t offset) const {
    const std::uint16_t value = bytes_.U16(offset);
    return BigEndian() ? static_cast<std::uint16_t>(value << 8 | value >> 8) : value;
  }
  std::uint32_t U32(std::uint64_t offset) const {
    const std::uint32_t value = bytes_.U32(offset);
    if (!BigEndian()) return value;
    return (value >> 24) | ((value >> 8) & 0xFF00) | ((value << 8) & 0xFF0000) | (value << 24);
  }

  // The orientation in IFD0, or 1.
  int Orientation() const {
    const std::uint8_t order = bytes_.U8(0);
    if ((order != 'I' && order != 'M') || bytes_.U8(1) != order || U16(2) != 42) return 1;
    const std::uint32_t ifd = U32(4);
    const std::uint16_t entries = U16(ifd);
    for (std::uint32_t i = 0; i < entries; ++i) {
      // +2: the entry count; each entry is tag, type, count, then the value itself when it
      // fits in 4 bytes, left-aligned (a SHORT sits in the first two of them).
      const std::uint64_t entry = std::uint64_t{ifd} + 2 + std::uint64_t{i} * kIfdEntrySize;
      if (U16(entry) != kTagOrientation) continue;
      if (U16(entry + 2) != kTypeShort || U32(entry + 4) != 1) return 1;
      const std::uint16_t value = U16(entry + 8);
      return value >= 1 && value <= 8 ? value : 1;
    }
    return 1;
  }

 private:
  TByteReader bytes_;
};

// The TIFF block inside a JPEG's "Exif" APP1 segment, or an empty span.
std::span<const std::uint8_t> JpegExifBlock(std::span<const std::uint8_t> file) {
  const TByteReader jpeg(file);
  std::uint64_t at = 2;  // past SOI
  for (;;) {
    if (jpeg.U8(at) != 0xFF) return {};
    while (jpeg.U8(at) == 0xFF) ++at;  // a marker may be preceded by any number of fill bytes
    const std::uint8_t marker = jpeg.U8(at++);
    // SOS starts the entropy-coded data and EOI ends the file: metadata comes before both.
    if (marker == 0xDA || marker == 0xD9) return {};
    // TEM and the restart markers stand alone, without a length.
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
    // The big-endian length counts its own two bytes.
    const std::uint16_t length =
        static_cast<std::uint16_t>(jpeg.U8(at) << 8 | jpeg.U8(at + 1));
    if (length < 2) return {};
    if (marker == 0xE1 && length >= 2 + sizeof kExifSignature &&
        std::memcmp(jpeg.Bytes(at + 2, sizeof kExifSignature).data(), kExifSignature,
                    sizeof kExifSignature) == 0) {
      return jpeg.Bytes(at + 2 + sizeof kExifSignature, length - 2 - sizeof kExifSignature);
    }
    at += length;
  }
}

// --- Resampling ---
//
// We filter in the file's own gamma (the sRGB values as stored), not in linear light. Every
// picture comes in as 8-bit sRGB and goes out as 8-bit sRGB: linear light would band in the
// shadows at 8 bits, so it needs a 16-bit or float path through both passes and the box
// filter, which costs time and memory on a 24-megapixel photo. ImageMagick's -resize and most
// viewers also filter the stored values, so a prepared picture looks as the user's other tools
// make it. What it gives up: fine bright detail on a dark ground (stars, thin light text)
// comes out a little darker than linear light would leave it.

constexpr double kLanczosLobes = 3.0;

// Shrinking by more than twice this, the picture is first averaged over whole blocks of
// pixels (a box filter) down to between this and twice this times the output, and Lanczos
// does the rest with its kernel widened by what remains. The box costs one addition per
// source pixel where the fully widened kernel costs 6 times the factor in multiplications per
// output pixel on each axis, and its weight table would grow with the source's longer side
// (a 40-megapixel strip 1 pixel high would need a gigabyte of it). With 3 or more source
// pixels per output pixel left for the kernel, the two results differ by well under one level
// in 255 (56 dB and more, measured on 24-megapixel pictures filled and fitted to 800 x 600).
constexpr double kBoxGap = 3.0;

double Sinc(double x) {
  if (x == 0.0) return 1.0;
  const double pi_x = std::numbers::pi * x;
  return std::sin(pi_x) / pi_x;
}

double Lanczos3(double x) {
  x = std::fabs(x);
  return x < kLanczosLobes ? Sinc(x) * Sinc(x / kLanczosLobes) : 0.0;
}

// The source pixels and weights that make each output pixel along one axis.
struct TAxisFilter {
  std::vector<std::int32_t> first;  // per output pixel: its first source pixel
  std::vector<std::int32_t> count;  // per output pixel: how many follow
  std::int32_t taps = 0;            // weights stored per output pixel (the largest count)
  std::vector<float> weights;       // taps per output pixel, normalised to sum 1
};

// How many source pixels the box filter averages into one along an axis (1: none).
std::int32_t BoxUnit(std::int32_t source_count, std::int64_t scaled_count) {
  const double ratio = static_cast<double>(source_count) / scaled_count;
  return ratio >= 2 * kBoxGap ? static_cast<std::int32_t>(ratio / kBoxGap) : 1;
}

// Output pixel i (0 <= i < out_count) is pixel i + skip of the source (source_count pixels)
// scaled to scaled_count pixels; `skip` is how a centred crop starts part-way into the scaled
// picture. The filter reads the source after the box filter: in_count pixels of `unit`
// source pixels each.
TAxisFilter MakeAxisFilter(std::int32_t source_count, std::int32_t unit, std::int64_t scaled_count,
                           std::int64_t skip, std::int32_t out_count) {
  const std::int32_t in_count = source_count / unit;
  const double ratio = static_cast<double>(source_count) / scaled_count / unit;
  // When shrinking, the kernel is widened by the shrink factor so that it still averages
  // every source pixel it passes over (a 5-fold shrink takes 30 source pixels); otherwise a
  // photo brought down to a slot would alias into moiré.
  const double stretch = std::max(1.0, ratio);
  const double support = kLanczosLobes * stretch;
  TAxisFilter filter;
  filter.taps = static_cast<std::int32_t>(std::ceil(support)) * 2 + 1;
  filter.first.resize(out_count);
  filter.count.resize(out_count);
  filter.weights.assign(static_cast<std::size_t>(out_count) * filter.taps, 0.0f);
  for (std::int32_t i = 0; i < out_count; ++i) {
    const double centre = (static_cast<double>(i + skip) + 0.5) * ratio;  // in source pixels
    std::int32_t low = static_cast<std::int32_t>(std::floor(centre - support));
    std::int32_t high = static_cast<std::int32_t>(std::ceil(centre + support));
    low = std::max(low, 0);
    high = std::min(high, in_count);
    high = std::min(high, low + filter.taps);
    double total = 0.0;
    float* weights = &filter.weights[static_cast<std::size_t>(i) * filter.taps];
    for (std::int32_t j = low; j < high; ++j) {
      const double w = Lanczos3((j + 0.5 - centre) / stretch);
      weights[j - low] = static_cast<float>(w);
      total += w;
    }
    // Near the edges part of the kernel falls outside the picture; what remains is scaled
    // back to a sum of 1, so edges keep their brightness.
    if (total != 0.0) {
      for (std::int32_t j = 0; j < high - low; ++j) weights[j] = static_cast<float>(weights[j] / total);
    }
    filter.first[i] = low;
    filter.count[i] = high - low;
  }
  return filter;
}

std::uint8_t ToByte(float value) {
  // Negative lobes can overshoot either way around a hard edge.
  if (value <= 0.0f) return 0;
  if (value >= 255.0f) return 255;
  return static_cast<std::uint8_t>(value + 0.5f);
}

// The picture averaged over blocks of unit_x x unit_y pixels; the few columns and rows past
// the last whole block are left out (they would shift the picture by less than a block).
TRgbImage BoxReduce(const TRgbImage& source, std::int32_t unit_x, std::int32_t unit_y) {
  TRgbImage reduced;
  reduced.width = source.width / unit_x;
  reduced.height = source.height / unit_y;
  reduced.bgr.resize(static_cast<std::size_t>(reduced.width) * reduced.height * 3);
  const std::size_t out_stride = static_cast<std::size_t>(reduced.width) * 3;
  const std::size_t in_stride = static_cast<std::size_t>(source.width) * 3;
  // A block sum fits 32 bits: each axis's unit is under a 40-megapixel picture's side.
  std::vector<std::uint32_t> sums(out_stride);
  const std::uint64_t area = std::uint64_t{static_cast<std::uint32_t>(unit_x)} * unit_y;
  for (std::int32_t y = 0; y < reduced.height; ++y) {
    std::fill(sums.begin(), sums.end(), 0u);
    for (std::int32_t row = 0; row < unit_y; ++row) {
      const std::uint8_t* in =
          source.bgr.data() + (static_cast<std::size_t>(y) * unit_y + row) * in_stride;
      for (std::int32_t x = 0; x < reduced.width; ++x) {
        std::uint32_t b = 0, g = 0, r = 0;
        for (std::int32_t k = 0; k < unit_x; ++k, in += 3) b += in[0], g += in[1], r += in[2];
        sums[3 * x] += b, sums[3 * x + 1] += g, sums[3 * x + 2] += r;
      }
    }
    std::uint8_t* out = reduced.bgr.data() + y * out_stride;
    for (std::size_t i = 0; i < out_stride; ++i)
      out[i] = static_cast<std::uint8_t>((sums[i] + area / 2) / area);
  }
  return reduced;
}

// Scales `source` to a width x height picture and writes it into `target` at (left, top);
// `columns` and `rows` filter the two axes.
void Resample(const TRgbImage& source, const TAxisFilter& columns, const TAxisFilter& rows,
              TRgbImage& target, std::int32_t left, std::int32_t top) {
  const std::int32_t out_width = static_cast<std::int32_t>(columns.first.size());
  const std::int32_t out_height = static_cast<std::int32_t>(rows.first.size());
  // Across first: every source row the vertical filter reaches is filtered once, into
  // floats so that the second pass adds unrounded values.
  const std::int32_t row_low = out_height == 0 ? 0 : rows.first.front();
  const std::int32_t row_high =
      out_height == 0 ? 0 : rows.first.back() + rows.count.back();
  std::vector<float> across(static_cast<std::size_t>(row_high - row_low) * out_width * 3);
  const std::size_t source_stride = static_cast<std::size_t>(source.width) * 3;
  for (std::int32_t y = row_low; y < row_high; ++y) {
    const std::uint8_t* in = source.bgr.data() + y * source_stride;
    float* out = &across[static_cast<std::size_t>(y - row_low) * out_width * 3];
    for (std::int32_t x = 0; x < out_width; ++x) {
      const float* w = &columns.weights[static_cast<std::size_t>(x) * columns.taps];
      const std::uint8_t* p = in + static_cast<std::size_t>(columns.first[x]) * 3;
      float b = 0, g = 0, r = 0;
      for (std::int32_t k = 0, n = columns.count[x]; k < n; ++k, p += 3) {
        b += w[k] * p[0];
        g += w[k] * p[1];
        r += w[k] * p[2];
      }
      out[3 * x] = b;
      out[3 * x + 1] = g;
      out[3 * x + 2] = r;
    }
  }
  const std::size_t across_stride = static_cast<std::size_t>(out_width) * 3;
  const std::size_t target_stride = static_cast<std::size_t>(target.width) * 3;
  std::vector<float> sums(across_stride);
  for (std::int32_t y = 0; y < out_height; ++y) {
    std::fill(sums.begin(), sums.end(), 0.0f);
    const float* w = &rows.weights[static_cast<std::size_t>(y) * rows.taps];
    for (std::int32_t k = 0; k < rows.count[y]; ++k) {
      const float* in = &across[(rows.first[y] + k - row_low) * across_stride];
      for (std::size_t i = 0; i < across_stride; ++i) sums[i] += w[k] * in[i];
    }
    std::uint8_t* out = target.bgr.data() + (y + top) * target_stride + left * 3;
    for (std::size_t i = 0; i < across_stride; ++i) out[i] = ToByte(sums[i]);
  }
}

// a * b / c rounded, at least 1: a side of the picture scaled in proportion. Filling a slot
// from a picture of 40 million pixels by 1, the long side grows past 32 bits.
std::int64_t ScaledSide(std::int32_t a, std::int32_t b, std::int32_t c) {
  const std::int64_t value = (std::int64_t{a} * b * 2 + c) / (std::int64_t{c} * 2);
  return std::max<std::int64_t>(value, 1);
}

// --- The bitmap file ---

// 72 dots per inch in pixels per metre, what most programs write; the slots ignore it.
constexpr std::int32_t kPixelsPerMetre = 2835;

}  // namespace

int ExifOrientation(std::span<const std::uint8_t> file) {
  try {
    if (file.size() >= 4 && file[0] == 0xFF && file[1] == 0xD8) {
      const std::span<const std::uint8_t> tiff = JpegExifBlock(file);
      return tiff.empty() ? 1 : TTiffView(tiff).Orientation();
    }
    if (file.size() >= 4 && (file[0] == 'I' || file[0] == 'M')) return TTiffView(file).Orientation();
  } catch (const EReadError&) {
    // A segment or IFD cut short: the picture is shown as stored.
  }
  return 1;
}

TRgbImage UprightOpaque(const platform::TDecodedPicture& picture, int orientation) {
  if (orientation < 1 || orientation > 8) orientation = 1;
  const std::int32_t w = picture.width;
  const std::int32_t h = picture.height;
  const bool swaps = orientation >= 5;  // 5 to 8 turn the picture a quarter
  TRgbImage image;
  image.width = swaps ? h : w;
  image.height = swaps ? w : h;
  image.bgr.resize(static_cast<std::size_t>(w) * h * 3);
  // For each orientation, where output pixel (x, y) comes from: the source column and row
  // as a start plus a step per output column and per output row.
  std::int64_t start_x = 0, start_y = 0, step_x_x = 1, step_x_y = 0, step_y_x = 0, step_y_y = 1;
  switch (orientation) {
    case 2: start_x = w - 1, step_x_x = -1; break;                          // mirrored
    case 3: start_x = w - 1, start_y = h - 1, step_x_x = -1, step_y_y = -1; break;  // half turn
    case 4: start_y = h - 1, step_y_y = -1; break;                          // upside down mirror
    case 5: step_x_x = 0, step_x_y = 1, step_y_x = 1, step_y_y = 0; break;  // transposed
    case 6: start_y = h - 1, step_x_x = 0, step_x_y = -1, step_y_x = 1, step_y_y = 0; break;
    case 7:
      start_x = w - 1, start_y = h - 1, step_x_x = 0, step_x_y = -1, step_y_x = -1, step_y_y = 0;
      break;
    case 8: start_x = w - 1, step_x_x = 0, step_x_y = 1, step_y_x = -1, step_y_y = 0; break;
    default: break;
  }
  const std::uint8_t* in = picture.bgra.data();
  std::uint8_t* out = image.bgr.data();
  for (std::int32_t y = 0; y < image.height; ++y) {
    std::int64_t sx = start_x + step_y_x * y;
    std::int64_t sy = start_y + step_y_y * y;
    for (std::int32_t x = 0; x < image.width; ++x, sx += step_x_x, sy += step_x_y) {
      const std::uint8_t* p = in + (sy * w + sx) * 4;
      const unsigned alpha = p[3];
      if (alpha == 255) {
        out[0] = p[0], out[1] = p[1], out[2] = p[2];
      } else {
        // Over black: the colour times its coverage, rounded.
        for (int c = 0; c < 3; ++c) out[c] = static_cast<std::uint8_t>((p[c] * alpha + 127) / 255);
      }
      out += 3;
    }
  }
  return image;
}

TRgbImage LoadImportPicture(const std::string& path) {
  const platform::TDecodedPicture decoded = platform::DecodePictureFile(path);
  // The decoder shows the picture as stored; the turn is read from the file by our own code,
  // which behaves the same on every platform (the system's metadata readers do not).
  return UprightOpaque(decoded, ExifOrientation(platform::ReadWholeFile(path)));
}

TRgbImage ScaleToSlot(const TRgbImage& source, std::int32_t width, std::int32_t height,
                      TImportMode mode) {
  TRgbImage target;
  target.width = width;
  target.height = height;
  target.bgr.assign(static_cast<std::size_t>(width) * height * 3, 0);  // black bars for Fit
  if (source.width <= 0 || source.height <= 0 || width <= 0 || height <= 0) return target;

  // Whether the source is wider than the slot, compared without division.
  const bool wider = std::int64_t{source.width} * height > std::int64_t{width} * source.height;
  std::int64_t scaled_width = width, scaled_height = height;
  switch (mode) {
    case TImportMode::Fill:
      // The side that is relatively shorter fills the slot; the other is cropped.
      if (wider) scaled_width = ScaledSide(source.width, height, source.height);
      else scaled_height = ScaledSide(source.height, width, source.width);
      break;
    case TImportMode::Fit:
      if (wider) scaled_height = ScaledSide(source.height, width, source.width);
      else scaled_width = ScaledSide(source.width, height, source.height);
      break;
    case TImportMode::Stretch:
      break;
  }
  const auto out_width = static_cast<std::int32_t>(std::min<std::int64_t>(scaled_width, width));
  const auto out_height = static_cast<std::int32_t>(std::min<std::int64_t>(scaled_height, height));
  const std::int32_t unit_x = BoxUnit(source.width, scaled_width);
  const std::int32_t unit_y = BoxUnit(source.height, scaled_height);
  // Fill skips half the overflow of the scaled picture; Fit leaves half the room as a bar.
  const TAxisFilter columns = MakeAxisFilter(source.width, unit_x, scaled_width,
                                             (scaled_width - out_width) / 2, out_width);
  const TAxisFilter rows = MakeAxisFilter(source.height, unit_y, scaled_height,
                                          (scaled_height - out_height) / 2, out_height);
  TRgbImage reduced;
  if (unit_x > 1 || unit_y > 1) reduced = BoxReduce(source, unit_x, unit_y);
  Resample(reduced.bgr.empty() ? source : reduced, columns, rows, target,
           (width - out_width) / 2, (height - out_height) / 2);
  return target;
}

std::vector<std::uint8_t> EncodeBitmap24(const TRgbImage& image) {
  // Rows are padded to 4 bytes. Our own pictures are at most slot-sized, so nothing overflows.
  const std::uint32_t row_bytes = (static_cast<std::uint32_t>(image.width) * 3 + 3) & ~3u;
  const std::uint32_t pixel_bytes = row_bytes * static_cast<std::uint32_t>(image.height);
  const std::uint32_t offset = sizeof(TBitmapFileHeaderDisk) + kInfoHeaderSize;
  TBytes file(offset + pixel_bytes, 0);
  TBitmapFileHeaderDisk file_header{};
  file_header.magic = kBitmapMagic;
  file_header.file_size = offset + pixel_bytes;
  file_header.pixel_offset = offset;
  PutStruct(file, 0, file_header);
  TBitmapInfoHeaderDisk info{};
  info.size = kInfoHeaderSize;
  info.width = image.width;
  info.height = image.height;  // positive: bottom row first
  info.planes = 1;
  info.bit_count = 24;
  info.compression = kBiRgb;
  info.size_image = pixel_bytes;
  info.x_pels_per_meter = kPixelsPerMetre;
  info.y_pels_per_meter = kPixelsPerMetre;
  PutStruct(file, sizeof(TBitmapFileHeaderDisk), info);
  const std::size_t stride = static_cast<std::size_t>(image.width) * 3;
  for (std::int32_t y = 0; y < image.height; ++y) {
    std::memcpy(file.data() + offset + static_cast<std::size_t>(image.height - 1 - y) * row_bytes,
                image.bgr.data() + y * stride, stride);
  }
  return file;
}

std::string PreparedPictureName(const std::string& source_path, std::int32_t width,
                                std::int32_t height) {
  // The folder part ends at the last separator of either kind (or a drive's colon); the
  // extension is what follows the last full stop of the name, unless the name starts with it.
  const std::size_t name_start = source_path.find_last_of("/\\:") + 1;  // npos + 1 == 0
  std::size_t stem_end = source_path.rfind('.');
  if (stem_end == std::string::npos || stem_end <= name_start) stem_end = source_path.size();
  return source_path.substr(0, stem_end) + "-" + std::to_string(width) + "x" +
         std::to_string(height) + ".bmp";
}

std::string PhotoKind(const std::string& path) {
  struct TSignature {
    const char* kind;
    std::string_view bytes;
  };
  using namespace std::string_view_literals;
  static constexpr TSignature kSignatures[] = {
      {"JPEG", "\xFF\xD8\xFF"sv}, {"PNG", "\x89PNG\r\n\x1A\n"sv}, {"GIF", "GIF8"sv},
      {"TIFF", "II*\0"sv},        {"TIFF", "MM\0*"sv},
  };
  std::array<char, 8> head{};
  try {
    // Opened as any picture is, so that a pipe is refused rather than waited on.
    const std::unique_ptr<TStream> file = platform::OpenFileForReading(path);
    file->Read(head.data(), head.size());
  } catch (const Exception&) {
    return "";
  }
  for (const TSignature& signature : kSignatures)
    if (std::memcmp(head.data(), signature.bytes.data(), signature.bytes.size()) == 0)
      return signature.kind;
  return "";
}

}  // namespace marivane
