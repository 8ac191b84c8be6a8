// Little-endian stores into a byte buffer we are building, and the one bounds-checked way this
// library reads a value out of bytes it did not write itself.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

namespace marivane::module {

// The on-disk structs are copied into place with memcpy, which is only right on a
// little-endian host; both of our targets (x86 Linux, i686 Windows) are.
static_assert(std::endian::native == std::endian::little);

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// Copies a packed on-disk struct to `offset`; the buffer must already be large enough (our own
// layout decided the offset, so a miss is a bug, not a file fault).
template <typename T>
void PutStruct(Bytes& out, std::size_t offset, const T& value) {
  if (offset > out.size() || out.size() - offset < sizeof(T)) {
    throw std::logic_error("module writer: struct placed past the end of its buffer");
  }
  std::memcpy(out.data() + offset, &value, sizeof(T));
}

inline void Put16(Bytes& out, std::size_t offset, std::uint16_t value) {
  PutStruct(out, offset, value);
}

inline void Put32(Bytes& out, std::size_t offset, std::uint32_t value) {
  PutStruct(out, offset, value);
}

template <typename T>
void AppendStruct(Bytes& out, const T& value) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
  out.insert(out.end(), bytes, bytes + sizeof(T));
}

inline void Append16(Bytes& out, std::uint16_t value) { AppendStruct(out, value); }
inline void Append32(Bytes& out, std::uint32_t value) { AppendStruct(out, value); }

inline void AppendZeros(Bytes& out, std::size_t count) { out.insert(out.end(), count, 0); }

inline void PadTo(Bytes& out, std::size_t alignment) {
  out.resize(AlignUp(out.size(), alignment), 0);
}

// Reads a little-endian 16- or 32-bit value at `offset`, or nothing if it would run past the
// end. The comparison is arranged so that a huge offset cannot wrap around.
inline std::optional<std::uint32_t> Load32(std::span<const std::uint8_t> data, std::size_t offset) {
  if (offset > data.size() || data.size() - offset < 4) return std::nullopt;
  return std::uint32_t{data[offset]} | std::uint32_t{data[offset + 1]} << 8 |
         std::uint32_t{data[offset + 2]} << 16 | std::uint32_t{data[offset + 3]} << 24;
}

inline std::optional<std::uint16_t> Load16(std::span<const std::uint8_t> data, std::size_t offset) {
  if (offset > data.size() || data.size() - offset < 2) return std::nullopt;
  return static_cast<std::uint16_t>(data[offset] | data[offset + 1] << 8);
}

}  // namespace marivane::module
