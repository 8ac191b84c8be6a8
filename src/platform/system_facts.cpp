#include "platform/system_facts.h"

namespace marivane::platform {

std::string TWindowsVersion::Text() const {
  return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(build);
}

}  // namespace marivane::platform
