// Who may change a file or folder, judged from its owner and DACL as SDDL text ("O:BAD:P(A;OICI;
// FA;;;SY)..."), the way Windows' SDDL conversion writes them. An install trusts a backup only
// where nobody but the system and administrators could have made or changed it.
#pragma once

#include <string>

namespace marivane::platform {

// Empty when only SYSTEM, Administrators and TrustedInstaller may change what `sddl` describes:
// one of them owns it, and no entry that allows anything lets another SID write, append, delete
// (a folder's entries too), change the DACL or the owner, nor grants GENERIC_WRITE or
// GENERIC_ALL. Otherwise a few words on the first who else may, as the user can look it up:
// "its owner S-1-5-21-...", "an entry for BU", "no DACL". Entries that deny are left out: they
// only take away. Inherit-only entries count like others, since the files made there later
// get them, except CREATOR OWNER's and CREATOR GROUP's: those go to whoever makes the file,
// and where only administrators may make one, that is an administrator; the file made is
// judged for itself. Text it cannot read is not trusted.
std::string WhoElseCanChange(const std::string& sddl);

}  // namespace marivane::platform
