// What the install's system primitives give under Wine 8.0, in the tests' 32-bit prefix,
// asserted as facts: Wine has no boot configuration provider and no catalogs, keeps no
// security descriptor of its own, and lacks FindFirstFileNameW. The stand-in bcdedit.exe
// records what it was asked.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>

#include "base/errors.h"
#include "platform/boot_configuration.h"
#include "platform/file_security.h"
#include "platform/file_signature.h"
#include "platform/platform.h"
#include "platform/system_facts.h"
#include "platform/system_program.h"
#include "platform/win32_handles.h"
#include "platform/wmi_win32.h"
#include "support/environment.h"
#include "support/test_files.h"

namespace marivane::platform {
namespace {

using test::ScopedEnvironment;
using test::TempDir;

// The SID Wine gives its one user, and so every file it reports on.
constexpr char kWineUser[] = "S-1-5-21-0-0-0-1000";

std::string StandInBcdedit() { return ProgramFolder() + "..\\stand-in-bcdedit\\bcdedit.exe"; }

std::string Text(const test::Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// A kernel handle's owner is empty for either of the system's "none" values, so that a failed
// CreateFileA, which gives INVALID_HANDLE_VALUE rather than null, is never taken for a file.
TEST(UnderWine, FileHandleEmptyForEitherFailureValue) {
  EXPECT_FALSE(TFileHandle(CreateFileA("C:\\no such folder\\no such file", GENERIC_READ, 0, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
  EXPECT_FALSE(TFileHandle(nullptr));
  EXPECT_TRUE(TFileHandle(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId())));
}

TEST(UnderWine, NoBootConfigurationNoCatalogs) {
  const TBootConfiguration read = ReadBootConfiguration();
  EXPECT_EQ(read.locale_state, TBootValue::CannotRead);
  EXPECT_EQ(read.quiet_boot, TQuietBoot::CannotRead);
  // The class is missing, said at once: not a wait for the time to run out.
  EXPECT_EQ(read.problem, "BcdStore: 0x80041002");
  // A reader that does not answer in time is left behind, the caller told so.
  EXPECT_EQ(ReadBootConfiguration(std::chrono::milliseconds(0)).problem, "no answer within 0 s");

  const TFileSignature signature = CatalogSignatureOf(SystemProgramPath("kernel32.dll"));
  EXPECT_EQ(signature.verdict, TSignatureVerdict::CannotTell);
  EXPECT_EQ(signature.detail, "this Windows has no catalog files");
}

// The calls the boot configuration is read with, through a provider Wine has: the registry's.
TEST(UnderWine, WmiCallsCarryTheirParameters) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
  {
    TWmiConnection wmi;
    TWmiObject registry, out, missing;
    ASSERT_FALSE(wmi.Open(L"root\\default"));
    ASSERT_FALSE(wmi.Class(L"StdRegProv", registry));
    ASSERT_FALSE(wmi.Call(registry, L"StdRegProv", L"GetStringValue",
                          {{L"hDefKey", TVariant(0x80000002u)},  // HKEY_LOCAL_MACHINE
                           {L"sSubKeyName", TVariant(L"Software\\Microsoft\\Windows NT\\CurrentVersion")},
                           {L"sValueName", TVariant(L"CurrentBuildNumber")}},
                          out));
    std::wstring build;
    EXPECT_TRUE(TextOf(out, L"sValue", build));
    EXPECT_EQ(build, L"7601");
    EXPECT_EQ(wmi.Class(L"NoSuchClass", missing).problem, "NoSuchClass: 0x80041002");
  }
  CoUninitialize();
}

TEST(UnderWine, WhatAnInstallRecords) {
  const std::optional<TWindowsVersion> version = WindowsVersion();
  ASSERT_TRUE(version.has_value());
  // A new prefix pretends to be Windows 7.
  EXPECT_EQ(version->Text(), "6.1.7601");
  EXPECT_EQ(version->service_pack, 1);
  EXPECT_EQ(version->service_pack_name, "Service Pack 1");
  EXPECT_EQ(CommonAppDataFolder(), "C:\\ProgramData");
  EXPECT_EQ(ProcessElevation(), TElevation::Elevated);
  // Its descriptors are made up (see SecurityAsWineKeepsIt): a backup is neither secured nor
  // judged by them.
  EXPECT_FALSE(KeepsFileSecurity(CommonAppDataFolder()));
}

TEST(UnderWine, PrivilegesOfItsAdministrator) {
  struct TCase {
    std::vector<std::string> asked;
    std::vector<std::string> missing;
  };
  const TCase cases[] = {
      {{kTakeOwnershipPrivilege, kRestorePrivilege, kBackupPrivilege}, {}},
      // Not even Wine's administrator may make tokens; the one missing is named.
      {{"SeCreateTokenPrivilege", kRestorePrivilege}, {"SeCreateTokenPrivilege"}},
  };
  for (const TCase& c : cases) EXPECT_EQ(EnablePrivileges(c.asked), c.missing);
  try {
    EnablePrivileges({"SeNoSuchPrivilege"});
    ADD_FAILURE() << "a name that is no privilege's was taken";
  } catch (const EOSError& error) {
    EXPECT_EQ(error.code(), static_cast<std::uint32_t>(ERROR_NO_SUCH_PRIVILEGE));
  }
}

TEST(UnderWine, SecurityAsWineKeepsIt) {
  const std::string made_by_wine = std::string("O:") + kWineUser + "D:(A;;FA;;;SY)(A;;FA;;;" +
                                   kWineUser + ")(A;;0x1200a9;;;WD)";
  const std::string windows_own = std::string("O:") + kTrustedInstallerSid + "D:P(A;;FA;;;" +
                                  kTrustedInstallerSid +
                                  ")(A;;0x1200a9;;;BA)(A;;0x1200a9;;;SY)(A;;0x1200a9;;;BU)";
  const std::string read_only = std::string("O:") + kWineUser + "D:P(A;;FR;;;" + kWineUser + ")";
  const std::string wine_read_only =
      std::string("O:") + kWineUser + "D:(A;;FA;;;SY)(A;;0x1e00a9;;;" + kWineUser + ")";
  struct TCase {
    const char* name;
    std::function<void(TSecuredFile&, const std::string& path)> change;
    std::string read_back;
    TSecurityAccess access = TSecurityAccess::Change;
  };
  const TCase cases[] = {
      {"as it was made", [](TSecuredFile&, const std::string&) {}, made_by_wine,
       TSecurityAccess::Read},
      {"held for reading only",
       [&](TSecuredFile& file, const std::string&) {
         EXPECT_THROW(file.SetSecurity(read_only), EOSError);
       },
       made_by_wine, TSecurityAccess::Read},
      {"the same set again",
       [](TSecuredFile& file, const std::string&) { file.SetSecurity(file.Security().sddl); },
       made_by_wine},
      // The owner is dropped; of the DACL only the rights of the file's Unix owner map.
      {"Windows' own", [&](TSecuredFile& file, const std::string&) { file.SetSecurity(windows_own); },
       std::string("O:") + kWineUser + "D:(A;;FA;;;SY)(A;;FA;;;" + kWineUser + ")"},
      {"read-only", [&](TSecuredFile& file, const std::string&) { file.SetSecurity(read_only); },
       wine_read_only},
      {"read-only by path",
       [&](TSecuredFile&, const std::string& path) { SetFileSecurity(path, read_only); },
       wine_read_only},
      {"TrustedInstaller as owner",
       [](TSecuredFile& file, const std::string&) { file.SetOwner(kTrustedInstallerSid); },
       made_by_wine},
      // DELETE maps to no mode bit.
      {"ownership for the rename",
       [](TSecuredFile& file, const std::string&) { file.TakeOwnershipForDelete(); },
       made_by_wine},
  };
  ASSERT_EQ(EnablePrivileges({kTakeOwnershipPrivilege, kRestorePrivilege}),
            std::vector<std::string>());
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const TempDir scratch;
    const std::string path = scratch.Write("winload.exe.mui", {'M', 'Z'});
    TSecuredFile file(path, c.access);
    c.change(file, path);
    const TFileSecurity security = file.Security();
    EXPECT_EQ(security.sddl, c.read_back);
    EXPECT_FALSE(security.dacl_protected);
  }
  const TempDir scratch;
  EXPECT_THROW(TSecuredFile(scratch.PathOf("gone")), EOSError);
}

TEST(UnderWine, HardLinksCountedNotListed) {
  const TempDir scratch;
  const std::string path = scratch.Write("winload.exe.mui", {'M', 'Z'});
  ASSERT_TRUE(CreateHardLinkA(scratch.PathOf("store-copy").c_str(), path.c_str(), nullptr));
  const THardLinks links = HardLinksOf(path);
  EXPECT_EQ(links.count, 2u);
  EXPECT_FALSE(links.others.has_value());
}

TEST(UnderWine, StandInBcdedit) {
  const TempDir scratch;
  const std::string log = scratch.PathOf("bcdedit.log");
  const ScopedEnvironment log_variable("MARIVANE_BCDEDIT_LOG", log);
  struct TCase {
    std::vector<std::string> arguments;
    std::string exit_status;
    TProgramOutcome outcome;
    std::uint32_t exit_code;
    std::string recorded;
    std::chrono::milliseconds timeout{30000};
  };
  const TCase cases[] = {
      {{"/set", "{current}", "quietboot", "on"}, "0", TProgramOutcome::Exited, 0,
       "/set\t{current}\tquietboot\ton\t\n"},
      {{"/set", "{current}", "quietboot", "off"}, "1", TProgramOutcome::Exited, 1,
       "/set\t{current}\tquietboot\toff\t\n"},
      // Each argument arrives as it was given, by the C runtime's rules.
      {{"a b", "say \"hi\"", "C:\\dir\\", "", "end\\\\"}, "0", TProgramOutcome::Exited, 0,
       "a b\tsay \"hi\"\tC:\\dir\\\t\tend\\\\\t\n"},
      {{"/enum"}, "hang", TProgramOutcome::TimedOut, 0, "/enum\t\n", std::chrono::milliseconds(500)},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.arguments.front());
    DeleteFileA(log.c_str());
    const ScopedEnvironment exit_variable("MARIVANE_BCDEDIT_EXIT", c.exit_status);
    const TProgramRun run = RunProgram(StandInBcdedit(), c.arguments, c.timeout);
    EXPECT_EQ(run.outcome, c.outcome);
    EXPECT_EQ(run.exit_code, c.exit_code);
    EXPECT_EQ(Text(test::ReadFileBytes(log)), c.recorded);
  }
  const TProgramRun missing =
      RunProgram(scratch.PathOf("bcdedit.exe"), {}, std::chrono::milliseconds(30000));
  EXPECT_EQ(missing.outcome, TProgramOutcome::NotStarted);
  EXPECT_EQ(missing.error, static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));

  // From where Windows keeps it, as the install calls it; the prefix has no bcdedit.exe of
  // its own.
  const std::string planted = SystemProgramPath("bcdedit.exe");
  ASSERT_TRUE(CopyFileA(StandInBcdedit().c_str(), planted.c_str(), TRUE));
  DeleteFileA(log.c_str());
  const ScopedEnvironment exit_variable("MARIVANE_BCDEDIT_EXIT", "0");
  const TProgramRun set = SetQuietBoot(TSwitch::On);
  DeleteFileA(planted.c_str());
  EXPECT_EQ(set.outcome, TProgramOutcome::Exited);
  EXPECT_EQ(Text(test::ReadFileBytes(log)), "/set\t{current}\tquietboot\ton\t\n");
}

}  // namespace
}  // namespace marivane::platform
