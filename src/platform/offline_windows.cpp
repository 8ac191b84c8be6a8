// What both platforms read the same way about a Windows partition.
#include "platform/offline_windows.h"

#include <algorithm>
#include <string_view>

namespace marivane::platform {
namespace {

// The OEM name field of an NTFS boot sector, where BitLocker puts its own signature.
constexpr std::size_t kOemNameOffset = 3;
constexpr std::string_view kNtfsName = "NTFS    ";
constexpr std::string_view kBitLockerName = "-FVE-FS-";
static_assert(kNtfsName.size() == kBitLockerName.size());

}  // namespace

TBootSectorKind BootSectorKind(std::span<const std::uint8_t> first_sector) {
  if (first_sector.size() < kOemNameOffset + kNtfsName.size()) return TBootSectorKind::Other;
  const auto name = first_sector.subspan(kOemNameOffset, kNtfsName.size());
  const auto is = [&](std::string_view expected) {
    return std::equal(name.begin(), name.end(), expected.begin(),
                      [](std::uint8_t byte, char c) { return byte == static_cast<std::uint8_t>(c); });
  };
  if (is(kNtfsName)) return TBootSectorKind::Ntfs;
  if (is(kBitLockerName)) return TBootSectorKind::BitLocker;
  return TBootSectorKind::Other;
}

}  // namespace marivane::platform
