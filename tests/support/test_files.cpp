#include "support/test_files.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <chrono>
#include <fstream>
#include <future>
#include <random>
#include <stdexcept>

#include "base/little_endian.h"

namespace marivane::test {

Bytes MakeBitmap(const BitmapSpec& spec) {
  Bytes out = {'B', 'M'};
  AppendU32(out, 0);  // file size and pixel offset: readers must not rely on them
  AppendU32(out, 0);
  AppendU32(out, 0);
  if (spec.header_size == 12) {
    AppendU32(out, 12);
    AppendU16(out, static_cast<std::uint16_t>(spec.width));
    AppendU16(out, static_cast<std::uint16_t>(spec.height));
    AppendU16(out, spec.planes);
    AppendU16(out, spec.bit_count);
  } else {
    const std::size_t start = out.size();
    AppendU32(out, spec.header_size);
    AppendU32(out, static_cast<std::uint32_t>(spec.width));
    AppendU32(out, static_cast<std::uint32_t>(spec.height));
    AppendU16(out, spec.planes);
    AppendU16(out, spec.bit_count);
    AppendU32(out, spec.compression);
    AppendU32(out, spec.size_image);
    AppendU32(out, 2835);  // 72 dpi
    AppendU32(out, 2835);
    AppendU32(out, spec.colors_used);
    AppendU32(out, 0);
    if (spec.header_size >= 52) {
      // Masks inside the header: 5-6-5 for 16 bits, 8-8-8 otherwise.
      const bool sixteen = spec.bit_count == 16;
      AppendU32(out, sixteen ? 0xF800 : 0xFF0000);
      AppendU32(out, sixteen ? spec.green_mask : 0x00FF00);
      AppendU32(out, sixteen ? 0x001F : 0x0000FF);
    }
    if (spec.header_size >= 108) {
      AppendU32(out, 0);                  // alpha mask (56-byte form ends here)
      AppendU32(out, 0x73524742);         // 'sRGB'
    }
    out.resize(start + spec.header_size, 0);
    if (spec.header_size == 40 && spec.compression == 3) {
      AppendU32(out, spec.bit_count == 16 ? 0xF800 : 0xFF0000);
      AppendU32(out, spec.bit_count == 16 ? spec.green_mask : 0x00FF00);
      AppendU32(out, spec.bit_count == 16 ? 0x001F : 0x0000FF);
    }
  }
  std::uint32_t entries = spec.colors_used;
  if (entries == 0 && spec.bit_count <= 8) entries = 1u << spec.bit_count;
  for (std::uint32_t i = 0; i < entries; ++i) {
    const auto level = static_cast<std::uint8_t>(i * 255 / (entries > 1 ? entries - 1 : 1));
    out.insert(out.end(), {level, level, level});
    if (spec.header_size != 12) out.push_back(0);
  }
  if (!spec.pixels.empty()) {
    out.insert(out.end(), spec.pixels.begin(), spec.pixels.end());
    return out;
  }
  const std::uint64_t row = (static_cast<std::uint64_t>(spec.width) * spec.bit_count + 31) / 32 * 4;
  const std::uint64_t rows = spec.height < 0 ? -static_cast<std::int64_t>(spec.height) : spec.height;
  for (std::uint64_t y = 0; y < rows; ++y)
    for (std::uint64_t x = 0; x < row; ++x) out.push_back(static_cast<std::uint8_t>(x * 7 + y * 13));
  return out;
}

Bytes MakeRle8(std::int32_t width, std::int32_t height) {
  Bytes out;
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t left = width; left > 0; left -= 255) {
      out.push_back(static_cast<std::uint8_t>(left > 255 ? 255 : left));
      out.push_back(static_cast<std::uint8_t>(y));
    }
    out.insert(out.end(), {0, 0});  // end of line
  }
  out.insert(out.end(), {0, 1});  // end of bitmap
  return out;
}

Bytes MakeIcon(std::uint8_t width, std::uint8_t height, std::uint16_t type) {
  const int w = width ? width : 256;
  const int h = height ? height : 256;
  Bytes image;
  AppendU32(image, 40);
  AppendU32(image, static_cast<std::uint32_t>(w));
  AppendU32(image, static_cast<std::uint32_t>(h * 2));  // colour rows, then the mask rows
  AppendU16(image, 1);
  AppendU16(image, 32);
  for (int i = 0; i < 6; ++i) AppendU32(image, 0);
  for (int i = 0; i < w * h; ++i) AppendU32(image, 0xFF2060A0);
  image.resize(image.size() + static_cast<std::size_t>(((w + 31) / 32) * 4 * h), 0);

  Bytes out;
  AppendU16(out, 0);
  AppendU16(out, type);
  AppendU16(out, 1);
  out.push_back(width);
  out.push_back(height);
  out.push_back(0);  // colours
  out.push_back(0);
  AppendU16(out, 1);   // planes
  AppendU16(out, 32);  // bits
  AppendU32(out, static_cast<std::uint32_t>(image.size()));
  AppendU32(out, 6 + 16);
  out.insert(out.end(), image.begin(), image.end());
  return out;
}

Bytes MakeEnhancedMetafile(std::int32_t width, std::int32_t height) {
  Bytes out;
  AppendU32(out, 1);   // EMR_HEADER
  AppendU32(out, 88);  // its size
  for (std::int32_t v : {0, 0, width - 1, height - 1}) AppendU32(out, static_cast<std::uint32_t>(v));
  // The frame in hundredths of a millimetre; rounded up so that it scales back exactly.
  for (std::int32_t v : {0, 0, (width * 2540 + 95) / 96, (height * 2540 + 95) / 96})
    AppendU32(out, static_cast<std::uint32_t>(v));
  AppendU32(out, 0x464D4520);  // " EMF"
  AppendU32(out, 0x10000);     // version
  AppendU32(out, 108);         // bytes in all
  AppendU32(out, 2);           // records
  AppendU16(out, 1);           // handles
  AppendU16(out, 0);
  AppendU32(out, 0);  // description length and offset
  AppendU32(out, 0);
  AppendU32(out, 0);  // palette entries
  AppendU32(out, 1024);
  AppendU32(out, 768);
  AppendU32(out, 320);
  AppendU32(out, 240);
  AppendU32(out, 14);  // EMR_EOF
  AppendU32(out, 20);
  AppendU32(out, 0);
  AppendU32(out, 16);
  AppendU32(out, 20);
  return out;
}

Bytes MakePlaceableMetafile(std::int16_t width, std::int16_t height, bool good_checksum) {
  Bytes out;
  AppendU32(out, 0x9AC6CDD7);
  AppendU16(out, 0);  // handle
  for (std::int16_t v : {std::int16_t{0}, std::int16_t{0}, width, height})
    AppendU16(out, static_cast<std::uint16_t>(v));
  AppendU16(out, 96);  // units per inch
  AppendU32(out, 0);
  std::uint16_t checksum = 0;
  for (std::size_t i = 0; i < out.size(); i += 2)
    checksum ^= LoadU16(&out[i]);
  AppendU16(out, good_checksum ? checksum : static_cast<std::uint16_t>(checksum ^ 1));
  // METAHEADER: memory metafile, 9-word header, version 3, size in words, then the end record.
  AppendU16(out, 1);
  AppendU16(out, 9);
  AppendU16(out, 0x300);
  AppendU32(out, 9 + 3);
  AppendU16(out, 0);
  AppendU32(out, 3);
  AppendU16(out, 0);
  AppendU32(out, 3);
  AppendU16(out, 0);
  return out;
}

TempDir::TempDir() {
  std::random_device random;
  const auto base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    path_ = base / ("marivane-test-" + std::to_string(random()));
    if (std::filesystem::create_directory(path_)) return;
  }
  throw std::runtime_error("no private test folder could be made");
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::PathOf(const std::string& name) const { return (path_ / name).string(); }

std::string TempDir::Write(const std::string& name, const Bytes& bytes) const {
  const std::string path = PathOf(name);
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!file) throw std::runtime_error("cannot write " + path);
  return path;
}

Bytes ReadFileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

#ifndef _WIN32
bool EndsWithoutAWriter(const std::string& pipe, const std::function<void()>& call) {
  std::future<void> done = std::async(std::launch::async, call);
  if (done.wait_for(std::chrono::seconds(10)) == std::future_status::ready) {
    done.get();
    return true;
  }
  // A reader waiting in open() is let through by a writer's open, one waiting in read() by
  // the end of the data that the writer's close gives.
  const int writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
  if (writer >= 0) ::close(writer);
  done.wait();
  return false;
}
#endif

}  // namespace marivane::test
