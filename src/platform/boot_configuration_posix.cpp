// The boot configuration of a Windows that is not running is not read: its store is a
// registry hive on the system partition, which this program does not parse.
#include "platform/boot_configuration.h"

namespace marivane::platform {

TBootConfiguration ReadBootConfiguration(std::chrono::milliseconds) {
  TBootConfiguration none;
  none.problem = "only a running Windows can be asked";
  return none;
}

}  // namespace marivane::platform
