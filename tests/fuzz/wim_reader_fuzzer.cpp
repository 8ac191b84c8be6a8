// libFuzzer target for reading boot screen files back. A WIM archive is opened and every file of
// every image read and checked, as an inspection reads one; a module ("MZ...") goes through the
// whole inspection, pictures decoded as the slots decode them, and is then judged as the boot
// loader it pairs with, to run the pairing on the same bytes. "SL", a size field and an archive
// are spliced into x86template's slot as the builder splices, so that the checks of our own
// layout are reached without inputs of the slot's 3.8 MB. EWimError (a refused archive) is the
// reader's one fine answer and the inspection raises nothing at all; any other exception
// escaping, a crash, a sanitizer report, a hang or an allocation past the readers' caps is a
// fault.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/little_endian.h"
#include "builder/boot_screen_inspection.h"
#include "imaging/wim_reader.h"
#include "module/boot_template.h"
#include "module/template_layout.h"

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

void InspectModule(std::span<const std::uint8_t> file) {
  marivane::TBootScreenInspection inspection =
      marivane::InspectBootScreen(file, "C:\\Windows\\System32\\en-US\\winload.exe.mui");
  // What the verdict promises of the findings and the pictures.
  const bool good = inspection.verdict == marivane::TBootScreenVerdict::Good;
  if ((inspection.FirstProblem() != nullptr) !=
      (inspection.verdict == marivane::TBootScreenVerdict::Damaged))
    __builtin_trap();
  if (good && !inspection.HasPictures()) __builtin_trap();
  marivane::JudgePairingWithLoader(inspection, file);
  if (inspection.pairing->pairing == marivane::module::TPairing::kPairs &&
      !inspection.pairing->reasons.empty())
    __builtin_trap();
}

// x86template with `wim` in its slot, zeros after it, and `size` in the slot's size field.
std::vector<std::uint8_t> InSlot(std::uint32_t size, std::span<const std::uint8_t> wim) {
  namespace layout = marivane::module;
  static const std::vector<std::uint8_t> kTemplate =
      marivane::module::BuildBootTemplate().template_bytes;
  std::vector<std::uint8_t> file(kTemplate.size() + layout::kSlotSize, 0);
  std::copy(kTemplate.begin(), kTemplate.begin() + layout::kSlotOffset, file.begin());
  std::copy(kTemplate.begin() + layout::kSlotOffset, kTemplate.end(),
            file.begin() + layout::kSlotOffset + layout::kSlotSize);
  std::copy_n(wim.begin(), std::min<std::size_t>(wim.size(), layout::kSlotSize),
              file.begin() + layout::kSlotOffset);
  marivane::PutU32(file, layout::kSlotSizeFieldOffset, size);
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  if (size >= 2 && data[0] == 'M' && data[1] == 'Z') {
    InspectModule(input);
    return 0;
  }
  if (size >= 6 && data[0] == 'S' && data[1] == 'L') {
    InspectModule(InSlot(marivane::LoadU32(data + 2), input.subspan(6)));
    return 0;
  }
  try {
    const imaging::TWimArchive archive(input);
    std::uint64_t budget = kReadBudget;
    for (const imaging::TWimImage& image : archive.Images()) ReadAll(archive, image.root, budget);
  } catch (const imaging::EWimError&) {
  }
  return 0;
}
