// A Windows partition offline, over scratch folders laid out like one. (ntfs-3g's own attribute
// cannot be had here without mounting: a plain folder shows the "not offered" side.)
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <tuple>

#include "platform/offline_windows.h"
#include "platform/platform.h"
#include "support/test_files.h"

namespace marivane::platform {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

void MakeFile(const fs::path& path, const std::string& content = "x") {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << content;
}

TEST(OfflineWindows, PathsResolvePartByPart) {
  constexpr char kLanguageFile[] = "Windows\\System32\\en-US\\winload.exe.mui";
  struct TCase {
    const char* name;
    std::function<void(const fs::path& root, const fs::path& outside)> lay_out;
    const char* asked;
    TOfflinePathState state;
    const char* expected;  // Found, Missing: the path under the root; Refused: a part of why
  };
  const TCase cases[] = {
      {"upgraded from XP",
       [](const fs::path& root, const fs::path&) {
         MakeFile(root / "WINDOWS/system32/en-US/winload.exe.mui");
       },
       kLanguageFile, TOfflinePathState::Found, "WINDOWS/system32/en-US/winload.exe.mui"},
      {"a backup folder not made yet",
       [](const fs::path& root, const fs::path&) { fs::create_directories(root / "ProgramData"); },
       "ProgramData\\Marivane\\Backup\\en-US", TOfflinePathState::Missing,
       "ProgramData/Marivane/Backup/en-US"},
      {"a link that stays inside",
       [](const fs::path& root, const fs::path&) {
         fs::create_directories(root / "ProgramData");
         fs::create_directory_symlink("ProgramData", root / "All Users");
       },
       "all users", TOfflinePathState::Found, "ProgramData"},
      {"two names that differ in case alone",
       [](const fs::path& root, const fs::path&) {
         MakeFile(root / "Windows/System32/en-US/winload.exe.mui");
         MakeFile(root / "Windows/System32/EN-us/winload.exe.mui", "look-alike");
       },
       kLanguageFile, TOfflinePathState::Refused, "holds both"},
      {"a link that leads out",
       [](const fs::path& root, const fs::path& outside) {
         MakeFile(outside / "winload.exe.mui");
         fs::create_directories(root / "Windows/System32");
         fs::create_directory_symlink(outside, root / "Windows/System32/en-US");
       },
       kLanguageFile, TOfflinePathState::Refused, "leads out of"},
      {"a link that leads nowhere",
       [](const fs::path& root, const fs::path&) {
         fs::create_directories(root / "Windows");
         fs::create_directory_symlink("gone", root / "Windows/System32");
       },
       kLanguageFile, TOfflinePathState::Refused, "leads nowhere"},
      {"a way up",
       [](const fs::path& root, const fs::path&) { fs::create_directories(root / "Windows"); },
       "Windows\\..\\..\\etc", TOfflinePathState::Refused, "\"..\""},
      {"a file on the way",
       [](const fs::path& root, const fs::path&) { MakeFile(root / "Windows/System32"); },
       kLanguageFile, TOfflinePathState::Refused, "is not a folder"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const TempDir scratch;
    const fs::path root = scratch.path() / "mnt";
    fs::create_directories(root);
    c.lay_out(root, scratch.path() / "outside");
    const TOfflinePath found = ResolveOfflinePath(root.string(), c.asked);
    EXPECT_EQ(found.state, c.state) << found.problem;
    const std::string real_root = fs::canonical(root).string();
    if (c.state == TOfflinePathState::Refused) {
      EXPECT_NE(found.problem.find(c.expected), std::string::npos) << found.problem;
      EXPECT_EQ(found.path, "");
    } else {
      EXPECT_EQ(found.path, real_root + "/" + c.expected);
    }
  }
}

TEST(OfflineWindows, NtfsSecurityOnAPlainFolderIsNotOffered) {
  const TempDir scratch;
  const std::string file = scratch.Write("winload.exe.mui", {1, 2, 3});
  const std::uint8_t descriptor[] = {1, 0, 4, 0x80};
  struct TCase {
    const char* name;
    TNtfsSecurity outcome;
    TNtfsSecurityState state;
    int error;
  };
  const TCase cases[] = {
      {"read", ReadNtfsSecurity(file), TNtfsSecurityState::NotOffered, EOPNOTSUPP},
      {"write", WriteNtfsSecurity(file, descriptor), TNtfsSecurityState::NotOffered, EOPNOTSUPP},
      {"no such file", ReadNtfsSecurity(file + ".gone"), TNtfsSecurityState::Failed, ENOENT},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.outcome.state, c.state);
    EXPECT_EQ(c.outcome.error, static_cast<std::uint32_t>(c.error));
    EXPECT_TRUE(c.outcome.descriptor.empty());
  }
}

// By spelling alone, as the mount table and a link's resolved target are judged: a folder
// whose name only begins like another's is not inside it.
TEST(OfflineWindows, PathsLieUnderAFolderByWholeNames) {
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"/mnt/win", "/mnt/win", true},       {"/mnt/win/Windows", "/mnt/win", true},
      {"/mnt/windows", "/mnt/win", false},  {"/mnt", "/mnt/win", false},
      {"/anything", "/", true},
  };
  for (const auto& [path, folder, under] : cases)
    EXPECT_EQ(IsPathUnder(path, folder), under) << path << " under " << folder;
}

TEST(OfflineWindows, WhatLiesAtTheMountpoint) {
  const TempDir scratch;
  test::Bytes bitlocker(512), ntfs(512);
  std::copy_n("-FVE-FS-", 8, bitlocker.begin() + 3);
  std::copy_n("NTFS    ", 8, ntfs.begin() + 3);
  fs::create_directories(scratch.path() / "empty");
  MakeFile(scratch.path() / "dislocker/dislocker-file");
  MakeFile(scratch.path() / "windows/Windows/System32/en-US/winload.exe.mui");
  struct TCase {
    std::string mountpoint;
    TOfflineVolumeState state;
  };
  const TCase cases[] = {
      {scratch.PathOf("nothing"), TOfflineVolumeState::Missing},
      {scratch.Write("locked.img", bitlocker), TOfflineVolumeState::BitLockerLocked},
      {scratch.Write("ntfs.img", ntfs), TOfflineVolumeState::NotAFolder},
      {scratch.Write("short.img", {'E', 'B', 'R'}), TOfflineVolumeState::NotAFolder},
      {scratch.PathOf("empty"), TOfflineVolumeState::Empty},
      {scratch.PathOf("dislocker"), TOfflineVolumeState::DislockerView},
      {scratch.PathOf("windows"), TOfflineVolumeState::Usable},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.mountpoint);
    EXPECT_EQ(InspectOfflineVolume(c.mountpoint).state, c.state);
  }
  EXPECT_NE(InspectOfflineVolume(scratch.PathOf("windows")).file_system, "");
}

}  // namespace
}  // namespace marivane::platform
