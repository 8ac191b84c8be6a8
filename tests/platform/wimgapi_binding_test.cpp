// Binding the imaging library on Windows: a complete library, one that lacks an entry point
// (as Wine's own does), and none at all. Each variant lies in a folder of its own next to the
// test programs and is reached through SetDllDirectory.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/exit_procs.h"
#include "platform/wimgapi.h"

namespace {

std::string VariantFolder(const char* variant) {
  char exe[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string folder(exe, length);
  folder.resize(folder.find_last_of('\\'));
  return folder + "\\..\\fake-wimgapi\\" + variant;
}

bool earlier_exit_proc_ran = false;
void EarlierExitProc() { earlier_exit_proc_ran = true; }

class Binding : public ::testing::Test {
 protected:
  void SetUp() override {
    earlier_exit_proc_ran = false;
    marivane::platform::ExitProc = EarlierExitProc;
  }
  void Load(const char* variant) {
    ASSERT_TRUE(SetDllDirectoryA(VariantFolder(variant).c_str()));
    wimgapi::LoadWIMGAPI();
  }
  static bool LibraryInProcess() { return GetModuleHandleA("WIMGAPI.DLL") != nullptr; }
};

TEST_F(Binding, CompleteLibraryIsBoundAndFreedOnceAtExitAfterTheEarlierExitProcedure) {
  SetErrorMode(SEM_FAILCRITICALERRORS);
  Load("complete");
  ASSERT_TRUE(wimgapi::WIMGAPILoaded);
  EXPECT_EQ(GetErrorMode(), static_cast<UINT>(SEM_FAILCRITICALERRORS));
  EXPECT_EQ(wimgapi::WIMGetImageCount(nullptr), 4242u);
  EXPECT_NE(wimgapi::WIMUnmountImage, nullptr);
  EXPECT_TRUE(LibraryInProcess());

  // A second call binds nothing again: one release below unloads the library.
  wimgapi::LoadWIMGAPI();
  marivane::platform::RunExitProcs();
  EXPECT_FALSE(LibraryInProcess());
  EXPECT_TRUE(earlier_exit_proc_ran);
  EXPECT_FALSE(wimgapi::WIMGAPILoaded);
}

TEST_F(Binding, LibraryLackingAnEntryPointIsReleasedAndCountsAsMissing) {
  Load("lacks-unmount");
  EXPECT_FALSE(wimgapi::WIMGAPILoaded);
  EXPECT_FALSE(LibraryInProcess());
  EXPECT_EQ(wimgapi::WIMCreateFile, nullptr);
  EXPECT_EQ(marivane::platform::ExitProc, EarlierExitProc);
}

TEST_F(Binding, NoLibraryLeavesTheFlagFalseAndRestoresTheErrorMode) {
  SetErrorMode(SEM_FAILCRITICALERRORS);
  Load("none");
  EXPECT_FALSE(wimgapi::WIMGAPILoaded);
  EXPECT_EQ(GetErrorMode(), static_cast<UINT>(SEM_FAILCRITICALERRORS));
  EXPECT_EQ(marivane::platform::ExitProc, EarlierExitProc);
}

// Run by ctest a second time with Wine's own library allowed; skipped otherwise.
TEST_F(Binding, WinesOwnIncompleteLibraryCountsAsMissing) {
  const char* overrides = std::getenv("WINEDLLOVERRIDES");
  if (overrides == nullptr || std::string(overrides).find("wimgapi=b") == std::string::npos)
    GTEST_SKIP() << "needs WINEDLLOVERRIDES with wimgapi=b";
  Load("none");
  EXPECT_FALSE(wimgapi::WIMGAPILoaded);
  EXPECT_FALSE(LibraryInProcess());
  // It was there to be loaded: the binding let it go, it did not miss it.
  HMODULE wines_own = LoadLibraryA("WIMGAPI.DLL");
  EXPECT_NE(wines_own, nullptr);
  if (wines_own != nullptr) FreeLibrary(wines_own);
}

}  // namespace
