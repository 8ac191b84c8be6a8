// The facts about the running Windows that an install records beside what it keeps. Whether
// the host is 64-bit is IsWow64 (shell_utils.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace marivane::platform {

struct TWindowsVersion {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
  std::uint16_t service_pack = 0;  // 1 for "Service Pack 1"; 0 for none
  std::string service_pack_name;   // "Service Pack 1", as the system gives it; may be empty

  // "6.0.6001"
  std::string Text() const;
};

// The version Windows itself reports (RtlGetVersion, which no compatibility setting changes);
// none elsewhere than on Windows. Wine 8.0 reports what its prefix is set to pretend, by
// default Windows 7: 6.1.7601, Service Pack 1.
std::optional<TWindowsVersion> WindowsVersion();

// %ProgramData% ("C:\ProgramData"), from the shell's record of it; empty where there is none.
std::string CommonAppDataFolder();

enum class TElevation {
  Elevated,     // the token is elevated (on systems before Vista: it is an administrator's)
  NotElevated,  // a limited token: an administrator's work needs the UAC prompt first
  CannotTell,   // not Windows, or the token could not be asked
};

// Whether this process runs with administrator rights. Under Wine a process is elevated.
TElevation ProcessElevation();

}  // namespace marivane::platform
