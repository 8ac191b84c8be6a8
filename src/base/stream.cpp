#include "base/stream.h"

#include <algorithm>
#include <cstring>

#include "base/errors.h"

namespace marivane {

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
  const std::size_t n = std::min(count, data_.size() - position_);
  if (n != 0) std::memcpy(buffer, data_.data() + position_, n);
  position_ += n;
  return n;
}

void TStreamReader::ReadExact(void* buffer, std::size_t count) {
  if (stream_.Read(buffer, count) != count) throw EReadError();
}

std::vector<std::uint8_t> TStreamReader::ReadExact(std::size_t count) {
  // Checked before allocating, so that a hostile count never costs memory.
  if (count > Remaining()) throw EReadError();
  std::vector<std::uint8_t> bytes(count);
  ReadExact(bytes.data(), count);
  return bytes;
}

std::size_t TStreamReader::ReadUpTo(std::span<std::uint8_t> buffer) {
  std::size_t total = 0;
  while (total < buffer.size()) {
    const std::size_t n = stream_.Read(buffer.data() + total, buffer.size() - total);
    if (n == 0) break;
    total += n;
  }
  return total;
}

void TStreamReader::Skip(std::uint64_t count) {
  std::uint8_t scratch[4096];
  while (count != 0) {
    const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(count, sizeof scratch));
    if (stream_.Read(scratch, chunk) != chunk) throw EReadError();
    count -= chunk;
  }
}

}  // namespace marivane
