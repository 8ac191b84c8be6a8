// What both platforms build the same way on top of their own TFileReplacement.
#include "platform/file_replacement.h"

#include <algorithm>
#include <vector>

#include "base/stream.h"
#include "platform/platform.h"

namespace marivane::platform {
namespace {

// Large enough that a boot screen file of about 4 MB goes in some sixty writes.
constexpr std::size_t kCopyChunk = 64 * 1024;

}  // namespace

void WriteFileAtomically(const std::string& target, std::span<const std::uint8_t> bytes) {
  TFileReplacement file(target);
  file.Write(bytes);
  file.Commit();
}

void CopyFileAtomically(const std::string& source, const std::string& target,
                        TReplacementFault fault) {
  // The source first: a source that cannot be read leaves no trace beside the target.
  const std::unique_ptr<TStream> input = OpenFileForReading(source);
  TStreamReader reader(*input);
  TFileReplacement file(target, fault);
  std::vector<std::uint8_t> buffer(kCopyChunk);
  for (std::uint64_t left = input->Size(); left != 0;) {
    const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
    // A source that shrinks under us is a short read, not a shorter copy.
    reader.ReadExact(buffer.data(), chunk);
    file.Write({buffer.data(), chunk});
    left -= chunk;
  }
  file.Commit();
}

}  // namespace marivane::platform
