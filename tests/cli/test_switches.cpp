// The switches that only the tests' marivane-cli-faults has, read from its environment before
// the command runs; the marivane-cli users get has none of them.
//   MARIVANE_FAIL_STEP=STEP  the install's or restore's step STEP ("rename") fails as the
//                            system would fail it, with "Access is denied"-like words
//   MARIVANE_KILL_AT=N       the process ends at once, as a kill would end it, before the Nth
//                            step it comes to (counting from 1), and says which on stderr;
//   MARIVANE_KILL_AT=STEP    the same before the step STEP
//   MARIVANE_JUDGE_SECURITY  who may change the backup is judged by the security the tree
//                            reports, even where it keeps none of its own
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/errors.h"
#include "builder/boot_screen_install.h"

namespace marivane::cli {

void ArmTestSwitches() {
  JudgeBackupSecurityForTesting(std::getenv("MARIVANE_JUDGE_SECURITY") != nullptr);
  const char* fail = std::getenv("MARIVANE_FAIL_STEP");
  const char* kill = std::getenv("MARIVANE_KILL_AT");
  if (fail == nullptr && kill == nullptr) return;
  const std::string fail_step = fail ? fail : "";
  const std::string kill_step = kill ? kill : "";
  const long kill_at = std::strtol(kill_step.c_str(), nullptr, 10);
  SetInstallStepHookForTesting([fail_step, kill_step, kill_at, count = 0L](const std::string& step) mutable {
    if (++count == kill_at || step == kill_step) {
      std::fprintf(stderr, "killed before %s\n", step.c_str());
      std::fflush(stderr);
      _exit(137);
    }
    if (step == fail_step) throw Exception("injected failure at " + step);
  });
}

}  // namespace marivane::cli
