// Picture files made by the tests themselves, and a private folder to put them in.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace marivane::test {

using Bytes = std::vector<std::uint8_t>;

// A Windows bitmap described by its header fields; the generator writes the header variant,
// masks, colour table and pixel rows that the fields call for.
struct BitmapSpec {
  std::int32_t width = 800;
  std::int32_t height = 600;  // negative: rows stored top row first
  std::uint16_t bit_count = 24;
  std::uint32_t compression = 0;
  std::uint32_t header_size = 40;  // 12 writes the core header
  std::uint16_t planes = 1;
  std::uint32_t colors_used = 0;
  std::uint32_t size_image = 0;
  std::uint32_t green_mask = 0x07E0;
  Bytes pixels;  // when empty, rows of a pattern for the whole picture
};

Bytes MakeBitmap(const BitmapSpec& spec);
// 8-bit run-length data for a picture of `width` x `height`: each row one run of one colour.
Bytes MakeRle8(std::int32_t width, std::int32_t height);

// A 32 x 32 (or width x height) icon with one 32-bit image.
Bytes MakeIcon(std::uint8_t width = 32, std::uint8_t height = 32, std::uint16_t type = 1);
// An enhanced metafile whose frame is `width` x `height` screen pixels at 96 dpi.
Bytes MakeEnhancedMetafile(std::int32_t width, std::int32_t height);
// A placeable Windows metafile of `width` x `height` at 96 units per inch.
Bytes MakePlaceableMetafile(std::int16_t width, std::int16_t height, bool good_checksum = true);

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Writes `bytes` under `name` and returns the file's full path as the program spells it.
  std::string Write(const std::string& name, const Bytes& bytes) const;
  std::string PathOf(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

Bytes ReadFileBytes(const std::string& path);

#ifndef _WIN32
// Runs `call` on a thread of its own while nobody writes to the named pipe at `pipe`, and
// says whether it ended within a few seconds. When it did not, the pipe is opened for
// writing and closed, which ends any wait on it, so that a test that fails does not hang.
bool EndsWithoutAWriter(const std::string& pipe, const std::function<void()>& call);
#endif

}  // namespace marivane::test
