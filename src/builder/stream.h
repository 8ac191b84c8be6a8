// A sequential source of bytes (an open file, or memory in tests and fuzzers), and the one
// reader through which untrusted file contents are taken apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace marivane {

class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to `count` bytes; fewer only at the end of the data.
  virtual std::size_t Read(void* buffer, std::size_t count) = 0;
  virtual std::uint64_t Size() const = 0;
  virtual std::uint64_t Position() const = 0;
};

class TMemoryStream final : public TStream {
 public:
  explicit TMemoryStream(std::span<const std::uint8_t> data) : data_(data) {}
  std::size_t Read(void* buffer, std::size_t count) override;
  std::uint64_t Size() const override { return data_.size(); }
  std::uint64_t Position() const override { return position_; }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t position_ = 0;
};

// Little-endian reads over a stream. Every read of a part that must be there whole raises
// EReadError when the stream ends first.
class TStreamReader {
 public:
  explicit TStreamReader(TStream& stream) : stream_(stream) {}

  std::uint64_t Remaining() const { return stream_.Size() - stream_.Position(); }
  void ReadExact(void* buffer, std::size_t count);
  std::vector<std::uint8_t> ReadExact(std::size_t count);
  // Reads what there is, up to `count` bytes, into the front of `buffer`; returns how many.
  std::size_t ReadUpTo(std::span<std::uint8_t> buffer);
  void Skip(std::uint64_t count);

 private:
  TStream& stream_;
};

inline std::uint16_t LoadU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t LoadU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::int32_t LoadI32(const std::uint8_t* p) { return static_cast<std::int32_t>(LoadU32(p)); }
inline std::int16_t LoadI16(const std::uint8_t* p) { return static_cast<std::int16_t>(LoadU16(p)); }
inline void StoreU32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

}  // namespace marivane
