// Little-endian values and packed structs in byte buffers that we build, and loads from buffers
// whose length the caller has already made sure of. Bytes that came from outside are read
// through TByteReader (base/byte_reader.h) instead, which checks before every load.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace marivane {

// Values and on-disk structs are copied with memcpy, which lays them out little-endian only on
// a little-endian host; both of our targets (x86 Linux, i686 Windows) are.
static_assert(std::endian::native == std::endian::little);

using TBytes = std::vector<std::uint8_t>;

inline std::uint16_t LoadU16(const std::uint8_t* p) {
  std::uint16_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}
inline std::uint32_t LoadU32(const std::uint8_t* p) {
  std::uint32_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}
inline std::uint64_t LoadU64(const std::uint8_t* p) {
  std::uint64_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

constexpr std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// Copies a packed on-disk struct (or a plain value) to `offset`; the buffer must already be
// large enough. Our own layout decided the offset, so a miss is a bug, not a file fault.
template <typename T>
void PutStruct(TBytes& out, std::size_t offset, const T& value) {
  if (offset > out.size() || out.size() - offset < sizeof(T))
    throw std::logic_error("byte buffer: value placed past the end of its buffer");
  std::memcpy(out.data() + offset, &value, sizeof(T));
}

inline void PutU16(TBytes& out, std::size_t offset, std::uint16_t value) {
  PutStruct(out, offset, value);
}
inline void PutU32(TBytes& out, std::size_t offset, std::uint32_t value) {
  PutStruct(out, offset, value);
}

template <typename T>
void AppendStruct(TBytes& out, const T& value) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
  out.insert(out.end(), bytes, bytes + sizeof(T));
}

inline void AppendU16(TBytes& out, std::uint16_t value) { AppendStruct(out, value); }
inline void AppendU32(TBytes& out, std::uint32_t value) { AppendStruct(out, value); }

inline void PadTo(TBytes& out, std::size_t alignment) {
  out.resize(AlignUp(out.size(), alignment), 0);
}

}  // namespace marivane
