// A sequential source of bytes (an open file, or memory in tests and fuzzers), and the reader
// that takes whole parts out of it. What a part holds is read through TByteReader.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Reads over a stream. Every read of a part that must be there whole raises EReadError when the
// stream ends first.
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

}  // namespace marivane
