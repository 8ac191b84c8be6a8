#include "platform/exit_procs.h"

namespace marivane::platform {

TExitProc ExitProc = nullptr;

void RunExitProcs() {
  while (ExitProc != nullptr) {
    const TExitProc current = ExitProc;
    ExitProc = nullptr;  // a procedure that does not chain ends the run
    current();
  }
}

}  // namespace marivane::platform
