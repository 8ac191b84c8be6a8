// Leftovers on Windows: a process's start time from GetProcessTimes, and the owner of a file
// from its security descriptor. Nothing waits for an interrupt: a run ended from outside
// leaves its temporary file beside the output for the next run there to remove, and
// %TEMP%\mrvn for the next save to clear.
#include <windows.h>

#include "platform/leftovers.h"
#include "platform/platform_win32.h"
#include "platform/shell_utils.h"
#include "platform/win32_handles.h"

namespace marivane::platform {
namespace {

// The process's creation time in 100-nanosecond units since 1601; 0 when it cannot be read.
unsigned long long StartTimeOf(HANDLE process) {
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return static_cast<unsigned long long>(created.dwHighDateTime) << 32 | created.dwLowDateTime;
}

// The user this process runs as, and the owner that files it creates get (the user, or for
// an elevated administrator the Administrators group; Wine's token names its users group
// while its files name the user); empty when the system will not say.
std::vector<std::uint8_t> TokenPart(TOKEN_INFORMATION_CLASS part) {
  HANDLE opened = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) return {};
  const TFileHandle token(opened);
  DWORD size = 0;
  GetTokenInformation(token.Get(), part, nullptr, 0, &size);
  std::vector<std::uint8_t> value(size);
  if (size == 0 || !GetTokenInformation(token.Get(), part, value.data(), size, &size)) return {};
  return value;
}

bool IsThisUser(PSID owner) {
  const std::vector<std::uint8_t> user = TokenPart(TokenUser);
  const std::vector<std::uint8_t> owner_of_new = TokenPart(TokenOwner);
  const auto* as_user = reinterpret_cast<const TOKEN_USER*>(user.data());
  const auto* as_owner = reinterpret_cast<const TOKEN_OWNER*>(owner_of_new.data());
  return (!user.empty() && EqualSid(owner, as_user->User.Sid)) ||
         (!owner_of_new.empty() && EqualSid(owner, as_owner->Owner));
}

}  // namespace

TProcessStamp CurrentProcessStamp() {
  return {GetCurrentProcessId(), StartTimeOf(GetCurrentProcess())};
}

bool ProcessHasEnded(const TProcessStamp& stamp) {
  if (stamp.id > MAXDWORD) return true;  // no process id is that large
  const HANDLE opened =
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(stamp.id));
  // Refused for a process of another user's, which may well be running.
  if (opened == nullptr) return GetLastError() == ERROR_INVALID_PARAMETER;
  const TFileHandle process(opened);
  // An ended process stays for as long as someone holds a handle on it.
  DWORD code = 0;
  if (GetExitCodeProcess(process.Get(), &code) && code != STILL_ACTIVE) return true;
  const unsigned long long start = StartTimeOf(process.Get());
  return start != 0 && start != stamp.start;
}

std::vector<std::string> FolderEntryNames(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found{};
  const TSearchHandle search(FindFirstFileA((folder + "*").c_str(), &found));
  if (!search) return names;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(search.Get(), &found));
  return names;
}

bool IsOwnLeftover(const std::string& path, TLeftoverKind kind) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
      ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != (kind == TLeftoverKind::Folder))
    return false;
  std::vector<std::uint8_t> security = FileSecurityOf(path, OWNER_SECURITY_INFORMATION);
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  return !security.empty() && GetSecurityDescriptorOwner(security.data(), &owner, &defaulted) &&
         owner != nullptr && IsThisUser(owner);
}

void RemoveLeftover(const std::string& path, TLeftoverKind kind) {
  if (kind == TLeftoverKind::File) DeleteFileA(path.c_str());
  else RemoveFolderTree(path);
}

void RemoveLeftoversOnInterrupt() {}

}  // namespace marivane::platform
