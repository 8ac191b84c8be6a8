// libFuzzer target for the WIM reader, used as an inspection uses it: the archive opened, then
// every file of every image read and checked. EWimError (a refused archive) is the one fine
// answer; any other exception escaping, a crash, a sanitizer report, a hang or an allocation
// past the reader's caps is a fault.
#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/wim_reader.h"

namespace {

// An archive of a few kilobytes may name files that expand to the cap each; a budget keeps
// one input to a moment.
constexpr std::uint64_t kReadBudget = 4 * imaging::kMaxWimResourceBytes;

void ReadAll(const imaging::TWimArchive& archive, const imaging::TWimFile& folder,
             std::uint64_t& budget) {
  for (const imaging::TWimFile& file : folder.children) {
    if (file.is_directory) {
      ReadAll(archive, file, budget);
      continue;
    }
    if (file.size > budget) return;
    budget -= file.size;
    if (archive.ReadFile(file).size() != file.size) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const imaging::TWimArchive archive(std::span<const std::uint8_t>(data, size));
    std::uint64_t budget = kReadBudget;
    for (const imaging::TWimImage& image : archive.Images()) ReadAll(archive, image.root, budget);
  } catch (const imaging::EWimError&) {
  }
  return 0;
}
