// The image checksum through an imagehlp.dll that lacks UnMapAndLoad: the failure is raised as
// the other bindings' are, and the file is let go all the same. ctest runs this with Wine told
// to take the stand-in library (fake-imagehlp/) over its own.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/errors.h"
#include "platform/image_checksum.h"
#include "platform/platform.h"
#include "support/test_files.h"

namespace {

TEST(ImageChecksumBinding, MissingUnMapAndLoadIsRaisedAndTheFileIsLetGo) {
  const char* overrides = std::getenv("WINEDLLOVERRIDES");
  if (overrides == nullptr || std::string(overrides).find("imagehlp=n") == std::string::npos)
    GTEST_SKIP() << "needs WINEDLLOVERRIDES with imagehlp=n";
  const std::string stand_in =
      marivane::platform::ProgramFolder() + "..\\fake-imagehlp\\imagehlp.dll";
  const HMODULE library = LoadLibraryA(stand_in.c_str());
  ASSERT_NE(library, nullptr);
  ASSERT_EQ(GetModuleHandleA("imagehlp.dll"), library);

  const marivane::test::TempDir dir;
  const std::string path = dir.Write("module.mui", marivane::test::Bytes(4000, 'x'));
  try {
    marivane::platform::ComputeImageChecksum(path);
    ADD_FAILURE() << "no error";
  } catch (const marivane::Exception& error) {
    EXPECT_STREQ(error.what(), "Function not found: imagehlp.dll.UnMapAndLoad");
  }
  // The stand-in holds the file against writers while it is mapped.
  EXPECT_NO_THROW(marivane::platform::WriteWholeFile(path, marivane::test::Bytes(10, 'y')));
}

}  // namespace
