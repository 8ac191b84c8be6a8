// Whether a language file (winload.exe.mui) pairs with the boot loader it is meant for
// (winload.exe). Windows' user-mode loader takes a language file only when its MUI
// configuration carries the module's checksum and its language is the name of its folder;
// whether the boot loader checks as much is not documented. So this asks for the most that
// can be checked: both checksums (the main one alone stays the same from a release to its
// service packs, the service one does not), the language against the folder, and the same
// file version in both version resources.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "module/module_facts.h"

namespace marivane::module {

enum class TPairing {
  kPairs,        // every check was made and held
  kDoesNotPair,  // at least one check failed
  kCannotTell,   // none failed, but winload.exe lacks what one of them needs
};

struct TPairingVerdict {
  TPairing pairing = TPairing::kCannotTell;
  // Why it does not pair, or why it cannot tell, one clause each, said of the language file:
  // "its service checksum (at 0x1C) is 00112233445566778899AABBCCDDEEFF, winload.exe's is
  // FFEEDDCCBBAA99887766554433221100". Empty when it pairs.
  std::vector<std::string> reasons;
};

// Pure: `language_file` and `loader` as ReadModuleFacts read them, `folder` the name of the
// folder the language file is in or is to go into ("en-US"), compared case-insensitively as
// the loader compares it. Never kPairs unless both configurations and both versions were
// read and every check held.
TPairingVerdict JudgePairing(const TModuleFacts& language_file, std::string_view folder,
                             const TModuleFacts& loader);

}  // namespace marivane::module
