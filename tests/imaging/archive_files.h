// Files, folders and archives for the archive tests: folders of generated pictures and data,
// captures through the WIMGAPI entry points, and the command runner for the independent tools.
#pragma once

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/imaging_api.h"
#include "imaging/utf.h"
#include "test_data.h"

namespace imaging::testing {

namespace stdfs = std::filesystem;

struct CommandResult {
  int status;
  std::string output;
};

inline CommandResult RunCommand(const std::string& command) {
  CommandResult r{-1, {}};
  FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  const int st = ::pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

// Values of every "Label = value" or "Label: value" line of a report, in order.
inline std::vector<std::string> FieldValues(const std::string& report, const std::string& label) {
  std::vector<std::string> values;
  std::istringstream in(report);
  for (std::string line; std::getline(in, line);) {
    const std::size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos || line.compare(start, label.size(), label) != 0) continue;
    const std::size_t sep = line.find_first_of("=:", start + label.size());
    if (sep == std::string::npos || line.find_first_not_of(' ', start + label.size()) != sep) continue;
    const std::size_t v = line.find_first_not_of(' ', sep + 1);
    values.push_back(v == std::string::npos ? "" : line.substr(v));
  }
  return values;
}

inline std::string FieldValue(const std::string& report, const std::string& label) {
  const auto v = FieldValues(report, label);
  return v.size() == 1 ? v[0] : "<" + std::to_string(v.size()) + " matches>";
}

inline std::string Quote(const stdfs::path& p) { return "'" + p.string() + "'"; }

inline std::u16string Wide(const stdfs::path& p) {
  std::u16string w;
  EXPECT_TRUE(Utf8ToUtf16(p.string(), w));
  return w;
}

// A folder under $TMPDIR (or /tmp) unique to this test, removed afterwards.
class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/imaging_test_XXXXXX";
    if (::mkdtemp(templ.data())) path_ = templ;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) stdfs::remove_all(path_, ec);
  }
  const stdfs::path& Path() const { return path_; }

 private:
  stdfs::path path_;
};

inline void WriteFile(const stdfs::path& p, const Bytes& data) {
  stdfs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

inline Bytes ReadFile(const stdfs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A bottom-up 24-bit BMP with the 54-byte header the boot screen uses.
inline Bytes Bmp(unsigned w, unsigned h, const std::function<std::array<std::uint8_t, 3>(unsigned, unsigned)>& pixel) {
  const unsigned stride = (w * 3 + 3) & ~3u;
  Bytes b(54 + std::size_t(stride) * h, 0);
  auto put32 = [&](std::size_t at, std::uint32_t v) { std::memcpy(&b[at], &v, 4); };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, std::uint32_t(b.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, w);
  put32(22, h);
  b[26] = 1;
  b[28] = 24;
  put32(34, stride * h);
  for (unsigned y = 0; y < h; ++y)
    for (unsigned x = 0; x < w; ++x) {
      const auto px = pixel(x, y);
      std::memcpy(&b[54 + std::size_t(y) * stride + x * 3], px.data(), 3);
    }
  return b;
}

// Soft gradients, a few shapes and sensor noise: close enough to a photograph for LZX.
inline std::function<std::array<std::uint8_t, 3>(unsigned, unsigned)> PhotoPixels(unsigned seed) {
  auto rng = std::make_shared<std::mt19937>(seed);
  return [rng](unsigned x, unsigned y) {
    const int noise = int((*rng)() % 7) - 3;
    const bool disc = (x - 300) * (x - 300) + (y - 250) * (y - 250) < 150 * 150;
    auto c = [&](int v) { return std::uint8_t(std::clamp(v + noise, 0, 255)); };
    return std::array<std::uint8_t, 3>{c(int(x / 5 + y / 7)), c(disc ? 200 - int(y / 4) : int(y / 3)),
                                       c(int((x + y) / 9) + (disc ? 40 : 0))};
  };
}

inline void WritePair(const stdfs::path& dir, const std::function<std::array<std::uint8_t, 3>(unsigned, unsigned)>& px) {
  WriteFile(dir / "osload800x600.bmp", Bmp(800, 600, px));
  WriteFile(dir / "osload1024x768.bmp", Bmp(1024, 768, px));
}

enum class Compression : TDword { kNone = wimgapi::kCompressNone, kLzx = wimgapi::kCompressLzx };

// A GUID and XML time for an archive to take instead of those it derives from its files.
struct TFixedIdentity {
  std::array<std::uint8_t, 16> guid;
  std::uint64_t filetime;
};

// The builder's call sequence. Returns the last error, 0 on success.
inline TDword Capture(const stdfs::path& folder, const stdfs::path& wim_path, Compression compression, bool boot = true,
                      const std::optional<TFixedIdentity>& identity = std::nullopt) {
  TDword created = 99;
  THandle wim = identity ? CreateFileWithIdentity(Wide(wim_path).c_str(), wimgapi::kGenericWrite, wimgapi::kCreateAlways,
                                                  TDword(compression), &created, identity->guid, identity->filetime)
                         : WIMCreateFile(Wide(wim_path).c_str(), wimgapi::kGenericWrite, wimgapi::kCreateAlways, 0,
                                         TDword(compression), &created);
  if (!wim) return LastError();
  EXPECT_EQ(created, 0u);
  THandle image = WIMCaptureImage(wim, Wide(folder).c_str(), 0);
  if (!image) {
    const TDword e = LastError();
    WIMCloseHandle(wim);
    return e;
  }
  if (boot && !WIMSetBootImage(wim, 1)) return LastError();
  if (!WIMCloseHandle(image)) return LastError();
  if (!WIMCloseHandle(wim)) return LastError();
  return 0;
}

// Every regular file under `a` equals the one at the same place under `b`, and vice versa.
inline void ExpectSameTree(const stdfs::path& a, const stdfs::path& b) {
  std::size_t count_a = 0, count_b = 0;
  for (const auto& e : stdfs::recursive_directory_iterator(a)) {
    ++count_a;
    const stdfs::path rel = stdfs::relative(e.path(), a);
    ASSERT_TRUE(stdfs::exists(b / rel)) << rel << " missing after apply";
    if (e.is_regular_file()) {
      EXPECT_TRUE(ReadFile(e.path()) == ReadFile(b / rel)) << rel << " differs";
    }
  }
  for ([[maybe_unused]] const auto& e : stdfs::recursive_directory_iterator(b)) ++count_b;
  EXPECT_EQ(count_a, count_b);
}

inline void PhotoPair(const stdfs::path& dir) { WritePair(dir, PhotoPixels(1)); }

// Chunk-shaped trouble for the compressor, each file several chunks long so that chunk
// boundaries, the short last chunk and the chunk table are all exercised.
inline void LzxEdges(const stdfs::path& dir) {
  constexpr std::size_t kChunk = 32768;
  auto concat = [](std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  WriteFile(dir / "e8.bin", concat({E8Edges(kChunk), E8Edges(kChunk), E8Edges(4001)}));
  WriteFile(dir / "e8_untouched.bin", concat({E8Untouched(kChunk), E8Untouched(4001)}));
  WriteFile(dir / "longest.bin", concat({LongestMatches(kChunk), LongestMatches(20000)}));
  WriteFile(dir / "repeats.bin", concat({RepeatOffsets(kChunk), RepeatOffsets(kChunk), RepeatOffsets(777)}));
  WriteFile(dir / "equal.bin", Bytes(2 * kChunk + 5, 0xAB));
  // The middle chunk does not compress: it must be stored raw between two compressed ones.
  WriteFile(dir / "raw_middle.bin", concat({PhotoLike(kChunk, 1), RandomBytes(kChunk, 2), PhotoLike(kChunk, 3)}));
  WriteFile(dir / "noise_tail.bin", concat({PhotoLike(kChunk, 4), RandomBytes(54, 5)}));
}

inline void SmallTree(const stdfs::path& dir) {
  WriteFile(dir / "one.bin", Bytes{0x42});
  WriteFile(dir / "empty.bin", {});
  WriteFile(dir / "b.txt", Bytes(100, 'b'));
  WriteFile(dir / "A.txt", Bytes(100, 'A'));
  WriteFile(dir / "a2.txt", Bytes(100, 'a'));
  WriteFile(dir / "sub" / "inner.bmp", Bmp(31, 17, PhotoPixels(3)));
  WriteFile(dir / "sub" / "deeper" / "copy.txt", Bytes(100, 'b'));  // same content as b.txt: one blob, two refs
  stdfs::create_directories(dir / "sub" / "empty_folder");
}

}  // namespace imaging::testing
