// The facts an install records, from Windows itself.
#include "platform/system_facts.h"

#include <windows.h>
#include <shlobj.h>

#include <bit>

#include "platform/platform_win32.h"
#include "platform/win32_handles.h"

namespace marivane::platform {

std::optional<TWindowsVersion> WindowsVersion() {
  // RtlGetVersion tells the truth where GetVersionEx may answer what a compatibility setting
  // or a missing manifest entry makes it say. ntdll has it since Windows 2000; looked up all
  // the same, as it is not part of the documented import libraries' promise.
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
  const auto rtl_get_version =
      std::bit_cast<RtlGetVersionFn>(GetProcAddress(GetModuleHandleA("ntdll"), "RtlGetVersion"));
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (rtl_get_version == nullptr || rtl_get_version(&info) != 0) {
    info = OSVERSIONINFOEXW{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return std::nullopt;
  }
  TWindowsVersion version;
  version.major = info.dwMajorVersion;
  version.minor = info.dwMinorVersion;
  version.build = info.dwBuildNumber;
  version.service_pack = info.wServicePackMajor;
  version.service_pack_name = NarrowText(info.szCSDVersion);
  return version;
}

std::string CommonAppDataFolder() {
  char folder[MAX_PATH + 1] = {};
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder)))
    return "";
  return folder;
}

TElevation ProcessElevation() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return TElevation::CannotTell;
  const TFileHandle owned_token(token);
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  if (GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size))
    return elevation.TokenIsElevated ? TElevation::Elevated : TElevation::NotElevated;
  // Before Vista there is no elevation: an administrator's token has all its rights.
  if (GetLastError() != ERROR_INVALID_PARAMETER) return TElevation::CannotTell;
  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators))
    return TElevation::CannotTell;
  BOOL member = FALSE;
  const BOOL asked = CheckTokenMembership(nullptr, administrators, &member);
  FreeSid(administrators);
  if (!asked) return TElevation::CannotTell;
  return member ? TElevation::Elevated : TElevation::NotElevated;
}

}  // namespace marivane::platform
