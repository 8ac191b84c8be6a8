// No Windows runs here: an offline partition's facts are read from its files instead.
#include "platform/system_facts.h"

namespace marivane::platform {

std::optional<TWindowsVersion> WindowsVersion() { return std::nullopt; }
std::string CommonAppDataFolder() { return ""; }
TElevation ProcessElevation() { return TElevation::CannotTell; }

}  // namespace marivane::platform
