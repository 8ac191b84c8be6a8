// A running Windows reaches its own partitions by drive letter: nothing here is offline.
#include "platform/offline_windows.h"

#include <windows.h>

namespace marivane::platform {

TOfflinePath ResolveOfflinePath(const std::string&, const std::string&) {
  return TOfflinePath{TOfflinePathState::Refused, "", "only on Linux"};
}

TNtfsSecurity ReadNtfsSecurity(const std::string&) {
  return TNtfsSecurity{TNtfsSecurityState::NotOffered, {}, ERROR_NOT_SUPPORTED};
}

TNtfsSecurity WriteNtfsSecurity(const std::string&, std::span<const std::uint8_t>) {
  return TNtfsSecurity{TNtfsSecurityState::NotOffered, {}, ERROR_NOT_SUPPORTED};
}

TOfflineVolume InspectOfflineVolume(const std::string&) {
  return TOfflineVolume{TOfflineVolumeState::NotAFolder, ""};
}

}  // namespace marivane::platform
