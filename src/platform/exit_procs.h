// The chain of procedures that run when the program ends, the last installed first. A unit
// that needs clean-up saves the current procedure and installs its own, which puts the saved
// one back when it runs.
#pragma once

namespace marivane::platform {

using TExitProc = void (*)();
extern TExitProc ExitProc;

// Runs the chain until no procedure is left installed.
void RunExitProcs();

}  // namespace marivane::platform
