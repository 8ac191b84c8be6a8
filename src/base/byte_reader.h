// The one way values are read out of bytes that came from outside: pictures, language files,
// anything a user hands us. Every read checks first that its bytes lie inside the data, so a
// forged offset or length can never reach past the end.
#pragma once

#include <cstdint>
#include <span>

#include "base/errors.h"
#include "base/little_endian.h"

namespace marivane {

class TByteReader {
 public:
  // Raises the caller's own error for a read past the end, given the name of what was being
  // read and its offset. It must throw; when there is none, the read raises EReadError.
  using TShortReadHandler = void (*)(const char* what, std::uint64_t offset);

  explicit TByteReader(std::span<const std::uint8_t> data, TShortReadHandler short_read = nullptr)
      : data_(data), short_read_(short_read) {}

  std::uint64_t Size() const { return data_.size(); }

  // Whether `count` bytes from `offset` lie inside the data. Offsets and counts are 64-bit and
  // the comparison subtracts only what is known to be smaller, so nothing here can wrap, even
  // for sums of two 32-bit fields on a 32-bit host.
  bool Holds(std::uint64_t offset, std::uint64_t count) const {
    return offset <= data_.size() && data_.size() - offset >= count;
  }

  // Little-endian values at `offset`; `what` names the field for the caller's error.
  std::uint8_t U8(std::uint64_t offset, const char* what = "") const {
    return *At(offset, 1, what);
  }
  std::uint16_t U16(std::uint64_t offset, const char* what = "") const {
    return LoadU16(At(offset, 2, what));
  }
  std::uint32_t U32(std::uint64_t offset, const char* what = "") const {
    return LoadU32(At(offset, 4, what));
  }
  std::uint64_t U64(std::uint64_t offset, const char* what = "") const {
    return LoadU64(At(offset, 8, what));
  }
  std::int16_t I16(std::uint64_t offset, const char* what = "") const {
    return static_cast<std::int16_t>(U16(offset, what));
  }
  std::int32_t I32(std::uint64_t offset, const char* what = "") const {
    return static_cast<std::int32_t>(U32(offset, what));
  }
  std::span<const std::uint8_t> Bytes(std::uint64_t offset, std::uint64_t count,
                                      const char* what = "") const {
    return {At(offset, count, what), static_cast<std::size_t>(count)};
  }

 private:
  const std::uint8_t* At(std::uint64_t offset, std::uint64_t count, const char* what) const {
    if (!Holds(offset, count)) {
      if (short_read_ != nullptr) short_read_(what, offset);
      throw EReadError();
    }
    return data_.data() + offset;
  }

  std::span<const std::uint8_t> data_;
  TShortReadHandler short_read_;
};

}  // namespace marivane
