// What a picture's own bytes say before any decoder is let loose on them: the size its headers
// declare and, for a JPEG, how many scans it holds. Both platforms refuse here, in the same
// words: a decoder that allocates all of a declared size at once (Wine's PNG decoder does) or
// decodes thousands of scans (every JPEG decoder does) would otherwise freeze the import for
// minutes or run out of memory before it said anything.
//
// A file cut short or malformed inside the headers walked here is not refused: the decoder
// then says in its own words what is damaged.
#include <cstring>

#include "base/bitmap_format.h"
#include "base/byte_reader.h"
#include "base/errors.h"
#include "platform/picture_decoder.h"

namespace marivane::platform {
namespace {

// Numbers in either byte order, read through the one reader of outside bytes: a read past the
// end raises EReadError, which ends the walk without a verdict.
std::uint32_t U16(const TByteReader& bytes, std::uint64_t at, bool big_endian) {
  const std::span<const std::uint8_t> two = bytes.Bytes(at, 2);
  return big_endian ? two[0] << 8 | two[1] : two[1] << 8 | two[0];
}
std::uint32_t U32(const TByteReader& bytes, std::uint64_t at, bool big_endian) {
  const std::uint32_t first = U16(bytes, at, big_endian), second = U16(bytes, at + 2, big_endian);
  return big_endian ? first << 16 | second : second << 16 | first;
}

constexpr char kPngSignature[] = "\x89PNG\r\n\x1a\n";

bool StartsWith(std::span<const std::uint8_t> file, const char* magic, std::size_t length) {
  return file.size() >= length && std::memcmp(file.data(), magic, length) == 0;
}

// --- PNG ---

// +12: the first chunk's type, which must be IHDR; +16 width, +20 height.
void CheckPng(const TByteReader& bytes, const std::string& name) {
  const std::span<const std::uint8_t> type = bytes.Bytes(12, 4);
  if (std::memcmp(type.data(), "IHDR", 4) != 0) return;
  CheckPictureSize(name, U32(bytes, 16, true), U32(bytes, 20, true));
}

// --- JPEG ---

// Markers without a length after them: TEM (0x01), RST0-7 (0xD0-0xD7), SOI and EOI.
bool StandsAlone(std::uint8_t marker) {
  return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9);
}

// Start of frame: 0xC0-0xCF but DHT (0xC4), JPG (0xC8) and DAC (0xCC).
bool StartsFrame(std::uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Where the entropy-coded data from `at` ends: at the first 0xFF followed by neither 0x00 (a
// stuffed byte), another 0xFF (a fill byte) nor a restart marker.
std::uint64_t EndOfScanData(const TByteReader& bytes, std::uint64_t at) {
  for (; at + 1 < bytes.Size(); ++at) {
    if (bytes.U8(at) != 0xFF) continue;
    const std::uint8_t next = bytes.U8(at + 1);
    if (next != 0x00 && next != 0xFF && (next < 0xD0 || next > 0xD7)) return at;
  }
  return bytes.Size();
}

// Walks the markers as libjpeg finds them: a segment is skipped by its length, a scan's data
// runs to the next marker, and bytes between segments that are no marker are passed over
// rather than ending the walk, so that no scan hides from the count.
void CheckJpeg(const TByteReader& bytes, const std::string& name) {
  std::uint64_t scans = 0;
  std::uint64_t at = 2;  // past SOI
  for (;;) {
    while (at < bytes.Size() && bytes.U8(at) != 0xFF) ++at;
    while (at < bytes.Size() && bytes.U8(at) == 0xFF) ++at;  // fill bytes
    if (at >= bytes.Size()) break;
    const std::uint8_t marker = bytes.U8(at++);
    if (marker == 0xD9) break;  // EOI
    if (marker == 0x00 || StandsAlone(marker)) continue;
    // The length counts itself. A frame header then has the sample precision, the height
    // (+3) and the width (+5).
    const std::uint32_t length = U16(bytes, at, true);
    if (length < 2) break;
    if (StartsFrame(marker))
      CheckPictureSize(name, U16(bytes, at + 5, true), U16(bytes, at + 3, true));
    at += length;
    if (marker == 0xDA) {  // SOS
      ++scans;
      at = EndOfScanData(bytes, at);
    }
  }
  if (scans > kMaxJpegScans) {
    RefusePicture(name, "the JPEG picture has " + std::to_string(scans) + " scans, more than the " +
                            std::to_string(kMaxJpegScans) + " this program takes");
  }
}

// --- GIF ---

// Past the data sub-blocks that start at `at`: a length byte and that many bytes, until a
// length of zero.
std::uint64_t SkipSubBlocks(const TByteReader& bytes, std::uint64_t at) {
  for (std::uint32_t length = bytes.U8(at); length != 0; length = bytes.U8(at)) at += length + 1;
  return at + 1;
}

// The bytes of a colour table that a flags byte announces: bit 7 says there is one, of
// 2^(1 + bits 0-2) entries of 3 bytes.
std::uint64_t ColourTableSize(std::uint8_t flags) {
  return (flags & 0x80) != 0 ? 3u << ((flags & 7) + 1) : 0;
}

// Every image of the file, not only the first: Wine's decoder reads them all at once. +10:
// the logical screen's flags, and its colour table after it at +13.
void CheckGif(const TByteReader& bytes, const std::string& name) {
  std::uint64_t at = 13 + ColourTableSize(bytes.U8(10));
  for (;;) {
    const std::uint8_t block = bytes.U8(at);
    if (block == 0x21) {  // an extension: its label, then sub-blocks
      at = SkipSubBlocks(bytes, at + 2);
    } else if (block == 0x2C) {  // an image: +5 width, +7 height, +9 flags; +10 colour table
      CheckPictureSize(name, bytes.U16(at + 5), bytes.U16(at + 7));
      at += 10 + ColourTableSize(bytes.U8(at + 9));
      at = SkipSubBlocks(bytes, at + 1);  // past the LZW code size
    } else {
      break;  // the trailer, or something the decoder will call damaged
    }
  }
}

// --- TIFF ---

constexpr std::uint32_t kTiffImageWidth = 256;
constexpr std::uint32_t kTiffImageLength = 257;
constexpr std::uint32_t kTiffShort = 3;

// The first image's directory, at the offset +4 gives: a count of 12-byte entries, each with
// its tag (+0), type (+2) and, for one value that fits, the value at +8 (a SHORT in its first
// two bytes in either byte order).
void CheckTiff(const TByteReader& bytes, const std::string& name) {
  const bool big_endian = bytes.U8(0) == 'M';
  const std::uint64_t directory = U32(bytes, 4, big_endian);
  const std::uint32_t entries = U16(bytes, directory, big_endian);
  std::uint64_t width = 0, height = 0;
  for (std::uint32_t i = 0; i < entries; ++i) {
    const std::uint64_t entry = directory + 2 + 12 * std::uint64_t{i};
    const std::uint32_t tag = U16(bytes, entry, big_endian);
    if (tag != kTiffImageWidth && tag != kTiffImageLength) continue;
    const std::uint32_t value = U16(bytes, entry + 2, big_endian) == kTiffShort
                                    ? U16(bytes, entry + 8, big_endian)
                                    : U32(bytes, entry + 8, big_endian);
    (tag == kTiffImageWidth ? width : height) = value;
  }
  // A directory without either is the decoder's to call damaged.
  if (width != 0 && height != 0) CheckPictureSize(name, width, height);
}

// --- ICO ---

// An icon's images that are PNG pictures, each by its own header: WIC decodes one when its
// frame is asked for, before its size can be.
void CheckIcon(const TByteReader& bytes, const std::string& name) {
  const std::uint32_t count = bytes.U16(offsetof(TIconHeaderDisk, count));
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint64_t entry =
        sizeof(TIconHeaderDisk) + sizeof(TIconEntryDisk) * std::uint64_t{i};
    const std::uint32_t size = bytes.U32(entry + offsetof(TIconEntryDisk, bytes));
    const std::uint32_t offset = bytes.U32(entry + offsetof(TIconEntryDisk, image_offset));
    if (!bytes.Holds(offset, size)) continue;  // the decoder's to call damaged
    const std::span<const std::uint8_t> image = bytes.Bytes(offset, size);
    if (StartsWith(image, kPngSignature, 8)) CheckPng(TByteReader(image), name);
  }
}

}  // namespace

void CheckPictureLimits(std::span<const std::uint8_t> file, const std::string& name) {
  try {
    const TByteReader bytes(file);
    if (StartsWith(file, kPngSignature, 8)) CheckPng(bytes, name);
    else if (StartsWith(file, "\xFF\xD8\xFF", 3)) CheckJpeg(bytes, name);
    else if (StartsWith(file, "GIF87a", 6) || StartsWith(file, "GIF89a", 6)) CheckGif(bytes, name);
    else if (StartsWith(file, "II*\0", 4) || StartsWith(file, "MM\0*", 4)) CheckTiff(bytes, name);
    // An icon, or a cursor (type 2), which is the same format.
    else if (StartsWith(file, "\0\0\1\0", 4) || StartsWith(file, "\0\0\2\0", 4))
      CheckIcon(bytes, name);
  } catch (const EReadError&) {
    // Cut short inside its headers: the decoder says what is damaged.
  }
}

}  // namespace marivane::platform
