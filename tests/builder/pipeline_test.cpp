// The save, stage by stage: what each failure shows and what it leaves on disk, and the file
// a successful save writes. The user's own pictures must come out of every run unchanged.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#include <sddl.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <optional>

#include "base/errors.h"
#include "base/little_endian.h"
#include "builder/boot_screen_builder.h"
#include "builder/boot_screen_file.h"
#include "module/pe_checksum.h"
#include "platform/file_replacement.h"
#include "platform/image_checksum.h"
#include "platform/platform.h"
#include "platform/shell_utils.h"
#include "platform/wimgapi.h"
#include "support/environment.h"
#include "support/recording_ui.h"
#include "support/shown_texts.h"
#include "support/test_files.h"

namespace marivane {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using test::Bytes;
namespace shown = test::shown;

using Shown = test::RecordingUserInterface::Shown;

Shown Plain(const std::string& text) { return {text, "", 0}; }

class Save : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(dir_.path() / "temp");
    small_ = dir_.Write("small.bmp", test::MakeBitmap({}));
    big_ = dir_.Write("big.bmp", test::MakeBitmap({.width = 1024, .height = 768}));
    originals_ = {test::ReadFileBytes(small_), test::ReadFileBytes(big_)};
    test::BindImagingLibrary();
    ASSERT_TRUE(wimgapi::WIMGAPILoaded);
    builder_.TemplateOverride = test::BinFolder() + "x86template";
    ASSERT_TRUE(fs::exists(builder_.TemplateOverride));
  }
  void TearDown() override {
    // Whatever happened, the user's pictures are as they were.
    if (fs::exists(small_)) {
      EXPECT_EQ(test::ReadFileBytes(small_), originals_[0]);
    }
    EXPECT_EQ(test::ReadFileBytes(big_), originals_[1]);
  }
  void LoadBoth() {
    builder_.LoadBrowsedFile(TSlot::Small, small_);
    builder_.LoadBrowsedFile(TSlot::Big, big_);
  }
  fs::path Temp() const { return dir_.path() / "temp"; }
  fs::path WorkDir() const { return Temp() / "mrvn"; }
  std::uintmax_t TemplateSize() const { return fs::file_size(builder_.TemplateOverride); }

  test::TempDir dir_;
  test::ScopedEnvironment temp_env_{"TEMP", (dir_.path() / "temp").string()};
  std::string small_, big_;
  std::vector<Bytes> originals_;
  test::RecordingUserInterface ui_;
  TBootScreenBuilder builder_{ui_};
};

TEST_F(Save, WritesTheFileReportsSuccessAndRemovesTheWorkingFolder) {
  LoadBoth();
  ui_.save_answer = dir_.PathOf("winload.exe.mui");
  const TSaveOutcome outcome = builder_.SaveBootScreenFileAsClick();

  EXPECT_THAT(ui_.shown, ElementsAre(Shown{shown::kSaved, shown::kSavedCaption, 0x40}));
  const Bytes saved = test::ReadFileBytes(ui_.save_answer);
  ASSERT_EQ(saved.size(), TemplateSize() + kSlotSize);
  EXPECT_EQ(outcome.result, TSaveResult::Saved);
  EXPECT_EQ(outcome.wim_size, LoadU32(&saved[kSlotSizeFieldOffset]));
  // The checksum field holds the image checksum of the finished file, by either computation.
  const std::uint32_t stored = LoadU32(&saved[kChecksumFieldOffset]);
  EXPECT_EQ(stored, module::ComputePeChecksum(saved));
  EXPECT_EQ(stored, platform::ComputeImageChecksum(ui_.save_answer));
  EXPECT_FALSE(fs::exists(WorkDir()));
  EXPECT_EQ(ui_.busy_changes.front(), true);
  EXPECT_EQ(ui_.busy_changes.back(), false);
  // A save leaves both slots as they were.
  EXPECT_TRUE(builder_.IsSmallImageValid());
  EXPECT_EQ(builder_.BigImagePath, big_);
}

TEST_F(Save, ReplacesAnExistingFileAndRunsAnewEachTime) {
  LoadBoth();
  ui_.save_answer = dir_.Write("winload.exe.mui", Bytes(10, 1));
  builder_.SaveBootScreenFileAsClick();
  builder_.SaveBootScreenFileAsClick();
  EXPECT_EQ(fs::file_size(ui_.save_answer), TemplateSize() + kSlotSize);
  EXPECT_EQ(ui_.Texts(), std::vector<std::string>(2, shown::kSaved));
}

TEST_F(Save, CancelledDialogWritesNothingAndLeavesTheWorkingFolder) {
  LoadBoth();
  EXPECT_EQ(builder_.SaveBootScreenFileAsClick().result, TSaveResult::Cancelled);
  EXPECT_EQ(ui_.save_dialogs, 1);
  EXPECT_THAT(ui_.shown, IsEmpty());
  for (const char* staged : {"winload.exe.mui", "rcdata.wim", "capture/osload800x600.bmp",
                             "capture/osload1024x768.bmp"})
    EXPECT_TRUE(fs::exists(WorkDir() / staged)) << staged;
  EXPECT_EQ(test::ReadFileBytes((WorkDir() / "capture/osload800x600.bmp").string()), originals_[0]);
  EXPECT_FALSE(ui_.busy_changes.back());
}

TEST_F(Save, CopyThatFailsIsReportedAndTheWorkingFolderStillRemoved) {
  LoadBoth();
  ui_.save_answer = dir_.PathOf("no-such-folder/winload.exe.mui");
  EXPECT_EQ(builder_.SaveBootScreenFileAsClick().result, TSaveResult::CopyFailed);
  EXPECT_THAT(ui_.shown, ElementsAre(Shown{shown::kSaveFailed, shown::kUnableToSaveCaption, 0x10}));
  EXPECT_FALSE(fs::exists(WorkDir()));
}

// A save over an existing file that fails part of the way: the file, or the folder under that
// name, is exactly as it was, and nothing is left beside it.
using Step = platform::TReplacementStep;

enum class Target { File, ReadOnlyFile, Folder };

struct ReplacementCase {
  const char* name;
  Step step;  // None: the system refuses by itself
  Target target;
  const char* reason;  // what the command-line tool adds to its "Unable to write"
};

void PrintTo(const ReplacementCase& c, std::ostream* os) { *os << c.name; }

#ifdef _WIN32
// ERROR_DISK_FULL, and the texts Wine gives (Windows words them at more length).
constexpr std::uint32_t kDiskFull = 112;
constexpr const char* kDiskFullText = "Disk full";
constexpr const char* kFolderText = "Access denied";
constexpr const char* kReadOnlyText = "Access denied";
#else
constexpr std::uint32_t kDiskFull = ENOSPC;
constexpr const char* kDiskFullText = "No space left on device";
constexpr const char* kFolderText = "Is a directory";
constexpr const char* kReadOnlyText = "Permission denied";
#endif

class FailedReplacement : public Save, public ::testing::WithParamInterface<ReplacementCase> {};

TEST_P(FailedReplacement, LeavesTheOldTargetAndNothingBesideIt) {
  const ReplacementCase& c = GetParam();
#ifndef _WIN32
  if (c.target == Target::ReadOnlyFile && ::geteuid() == 0) GTEST_SKIP() << "root writes any file";
#endif
  LoadBoth();
  fs::create_directory(dir_.path() / "out");
  ui_.save_answer = dir_.PathOf("out/winload.exe.mui");
  if (c.target == Target::Folder) {
    fs::create_directory(ui_.save_answer);
    dir_.Write("out/winload.exe.mui/kept", Bytes(3, 7));
  } else {
    dir_.Write("out/winload.exe.mui", Bytes(10, 1));
  }
  if (c.target == Target::ReadOnlyFile)
    fs::permissions(ui_.save_answer, fs::perms::owner_write | fs::perms::group_write |
                                         fs::perms::others_write, fs::perm_options::remove);
  builder_.CopyFault = {c.step, kDiskFull};
  const TSaveOutcome outcome = builder_.SaveBootScreenFileAsClick();
  // Writable again, so that the test's folder can go.
  fs::permissions(ui_.save_answer, fs::perms::owner_write, fs::perm_options::add);

  EXPECT_EQ(outcome.result, TSaveResult::CopyFailed);
  EXPECT_EQ(outcome.failure, c.reason);
  ASSERT_EQ(ui_.shown.size(), 1u);
  EXPECT_EQ(ui_.shown[0].caption, "Unable to save");
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_.path() / "out"))
    names.push_back(entry.path().filename().string());
  EXPECT_THAT(names, ElementsAre("winload.exe.mui"));
  if (c.target == Target::Folder)
    EXPECT_EQ(test::ReadFileBytes(dir_.PathOf("out/winload.exe.mui/kept")), Bytes(3, 7));
  else
    EXPECT_EQ(test::ReadFileBytes(ui_.save_answer), Bytes(10, 1));
  EXPECT_FALSE(fs::exists(WorkDir()));
}

INSTANTIATE_TEST_SUITE_P(
    Save, FailedReplacement,
    ::testing::Values(
        ReplacementCase{"NoRoomForTheTemporaryFile", Step::Create, Target::File, kDiskFullText},
        ReplacementCase{"DiskFullWhileWriting", Step::Write, Target::File, kDiskFullText},
        ReplacementCase{"FlushFails", Step::Flush, Target::File, kDiskFullText},
        ReplacementCase{"RenameRefused", Step::Rename, Target::File, kDiskFullText},
        ReplacementCase{"WriteProtectedFile", Step::None, Target::ReadOnlyFile, kReadOnlyText},
        ReplacementCase{"FolderUnderTheTargetsName", Step::None, Target::Folder, kFolderText}),
    [](const ::testing::TestParamInfo<ReplacementCase>& row) { return std::string(row.param.name); });

#ifndef _WIN32
TEST_F(Save, ReplacedFileKeepsItsPermissions) {
  LoadBoth();
  ui_.save_answer = dir_.Write("winload.exe.mui", Bytes(10, 1));
  const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(ui_.save_answer, mode);
  ASSERT_EQ(builder_.SaveBootScreenFileAsClick().result, TSaveResult::Saved);
  EXPECT_EQ(fs::status(ui_.save_answer).permissions(), mode);
}
#else
// The file's access control list, as text.
std::string AccessList(const std::string& path) {
  char descriptor[4096];
  DWORD size = 0;
  char* text = nullptr;
  if (!GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, descriptor, sizeof descriptor,
                        &size) ||
      !ConvertSecurityDescriptorToStringSecurityDescriptorA(
          descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr))
    return "unreadable";
  const std::string list = text;
  LocalFree(text);
  return list;
}

// A private file stays private: its own list, inheriting nothing, lets only the user in (Wine
// keeps the list as the file's mode, 0770, where a new file gets 0644).
TEST_F(Save, ReplacedFileKeepsItsAccessList) {
  LoadBoth();
  ui_.save_answer = dir_.Write("winload.exe.mui", Bytes(10, 1));
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  char user[256];
  DWORD size = 0;
  char* sid = nullptr;
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, sizeof user, &size));
  CloseHandle(token);
  ASSERT_TRUE(ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid));
  const std::string list = std::string("D:P(A;;FA;;;") + sid + ")";
  LocalFree(sid);
  PSECURITY_DESCRIPTOR own = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(list.c_str(), SDDL_REVISION_1,
                                                                   &own, nullptr));
  ASSERT_TRUE(SetFileSecurityA(ui_.save_answer.c_str(), DACL_SECURITY_INFORMATION, own));
  LocalFree(own);
  const std::string before = AccessList(ui_.save_answer);
  ASSERT_EQ(builder_.SaveBootScreenFileAsClick().result, TSaveResult::Saved);
  EXPECT_EQ(fs::file_size(ui_.save_answer), TemplateSize() + kSlotSize);
  EXPECT_EQ(AccessList(ui_.save_answer), before);
}

// Where the file may be written but not replaced through its folder (no new file may be made
// there, or the rename over it is refused), the finished file is copied over it, as the
// program always did; a file with a second name gets a new file under the name saved to,
// and the other name keeps what it had.
TEST_F(Save, FileThatCannotBeReplacedThroughItsFolderIsWrittenInPlace) {
  constexpr std::uint32_t kAccessDenied = 5;
  struct TCase {
    const char* name;
    Step step;
    bool in_place;
  } const cases[] = {{"no file may be made beside it", Step::Create, true},
                     {"no rename over it", Step::Rename, true},
                     {"a second name", Step::None, false}};
  LoadBoth();
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    ui_.shown.clear();
    fs::remove_all(dir_.path() / "out");
    fs::create_directory(dir_.path() / "out");
    ui_.save_answer = dir_.Write("out/winload.exe.mui", Bytes(10, 1));
    const std::string other = dir_.PathOf("out/second name.mui");
    ASSERT_TRUE(CreateHardLinkA(other.c_str(), ui_.save_answer.c_str(), nullptr));
    builder_.CopyFault = {c.step, kAccessDenied};
    EXPECT_EQ(builder_.SaveBootScreenFileAsClick().result, TSaveResult::Saved);
    builder_.CopyFault = {};

    EXPECT_THAT(ui_.Texts(), ElementsAre(shown::kSaved));
    const Bytes saved = test::ReadFileBytes(ui_.save_answer);
    EXPECT_EQ(saved.size(), TemplateSize() + kSlotSize);
    EXPECT_EQ(test::ReadFileBytes(other), c.in_place ? saved : Bytes(10, 1));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_.path() / "out"))
      names.push_back(entry.path().filename().string());
    EXPECT_THAT(names, ::testing::UnorderedElementsAre("winload.exe.mui", "second name.mui"));
  }
  // Nothing was left in the temporary folder either.
  EXPECT_TRUE(fs::is_empty(Temp()));
}
#endif

TEST_F(Save, BeforeBothSlotsAreValidOnlyTheCheckSpeaks) {
  builder_.LoadBrowsedFile(TSlot::Small, small_);
  builder_.SaveBootScreenFileAsClick();
  EXPECT_THAT(ui_.shown, ElementsAre(Plain(shown::kBigRejection)));
  EXPECT_EQ(ui_.save_dialogs, 0);
  EXPECT_FALSE(fs::exists(WorkDir()));
}

TEST_F(Save, MissingTemporaryFolderStopsBeforeAnythingIsCreated) {
  LoadBoth();
  test::ScopedEnvironment missing("TEMP", dir_.PathOf("gone"));
  EXPECT_FALSE(builder_.GenerateBootScreen());
  EXPECT_THAT(ui_.shown, ElementsAre(Plain(shown::kNoTempFolder)));
  EXPECT_FALSE(fs::exists(dir_.path() / "gone"));
}

TEST_F(Save, UnsetTemporaryFolderVariable) {
  LoadBoth();
  test::ScopedEnvironment unset("TEMP", std::nullopt);
  test::ScopedEnvironment fallback("TMPDIR", dir_.PathOf("temp"));
  const bool generated = builder_.GenerateBootScreen();
#ifdef _WIN32
  // Windows takes TEMP and nothing else.
  EXPECT_FALSE(generated);
  EXPECT_THAT(ui_.shown, ElementsAre(Plain(shown::kNoTempFolder)));
#else
  // A Linux session need not set TEMP: TMPDIR serves instead.
  EXPECT_TRUE(generated);
  EXPECT_TRUE(fs::exists(WorkDir() / "winload.exe.mui"));
#endif
}

TEST_F(Save, StaleWorkingFolderIsReplacedByAFreshOne) {
  LoadBoth();
  fs::create_directories(WorkDir() / "capture");
  dir_.Write("temp/mrvn/capture/stale.bmp", Bytes(5, 0));
  ASSERT_TRUE(builder_.PrepareWorkingFolder());
  EXPECT_FALSE(fs::exists(WorkDir() / "capture/stale.bmp"));
  EXPECT_TRUE(fs::exists(WorkDir() / "capture/osload1024x768.bmp"));
}

TEST_F(Save, WorkingFolderThatCannotBeClearedStopsTheSave) {
  LoadBoth();
  fs::create_directory(WorkDir());
  dir_.Write("temp/mrvn/in-use.txt", Bytes(5, 0));
  builder_.WorkDirRemoval = platform::TFolderRemoval::FailAsInUse;
  EXPECT_FALSE(builder_.GenerateBootScreen());
  EXPECT_THAT(ui_.shown, ElementsAre(Plain(shown::kClearWorkDir)));
  EXPECT_TRUE(fs::exists(WorkDir() / "in-use.txt"));
}

// A stage that fails shows its one message, in the window's words, and the save goes no
// further: no save dialog, nothing written.
enum class StageFault {
  FileWhereTheWorkingFolderGoes,
  ReadOnlyTemporaryFolder,
  CaptureFolderNameTooLong,
  TemplateIsAPipe,
  ImageNotMarkedBootable,
};

struct StageFailureCase {
  const char* name;
  StageFault fault;
  std::string shown;
};

void PrintTo(const StageFailureCase& c, std::ostream* os) { *os << c.name; }

wimgapi::TSetBootImageFn real_set_boot_image = nullptr;

// The library's own answer for a handle it never gave out.
wimgapi::TBool WIMAPI RefuseToMarkBootable(wimgapi::THandle, wimgapi::TDword image) {
  return real_set_boot_image(nullptr, image);
}

class StageFailure : public Save, public ::testing::WithParamInterface<StageFailureCase> {
 protected:
  void TearDown() override {
    if (real_set_boot_image != nullptr) wimgapi::WIMSetBootImage = real_set_boot_image;
    real_set_boot_image = nullptr;
    fs::permissions(Temp(), fs::perms::owner_all, fs::perm_options::add);
    Save::TearDown();
  }
  std::optional<test::ScopedEnvironment> deep_temp_;
};

TEST_P(StageFailure, ShowsItsMessageAndGoesNoFurther) {
  const StageFailureCase& c = GetParam();
  switch (c.fault) {
    case StageFault::FileWhereTheWorkingFolderGoes:
      dir_.Write("temp/mrvn", Bytes(3, 1));
      break;
    case StageFault::ReadOnlyTemporaryFolder:
#ifndef _WIN32
      if (::geteuid() == 0) GTEST_SKIP() << "root writes anywhere; cli_faults_test.py mounts one";
      fs::permissions(Temp(), fs::perms::owner_read | fs::perms::owner_exec);
      break;
#else
      GTEST_SKIP() << "a Windows folder's read-only attribute keeps nothing out";
#endif
    case StageFault::CaptureFolderNameTooLong: {
#ifndef _WIN32
      // Room under PATH_MAX (4,096 with its terminator) for mrvn and mrvn.lock, none for
      // mrvn/capture.
      std::string deep = Temp().string();
      while (deep.size() < 4084) deep += "/" + std::string(std::min<std::size_t>(200, 4083 - deep.size()), 'd');
      fs::create_directories(deep);
      deep_temp_.emplace("TEMP", deep);
      break;
#else
      GTEST_SKIP() << "the path limits of Windows and Wine differ";
#endif
    }
    case StageFault::TemplateIsAPipe:
#ifndef _WIN32
      builder_.TemplateOverride = dir_.PathOf("x86template");
      ASSERT_EQ(::mkfifo(builder_.TemplateOverride.c_str(), 0600), 0);
      break;
#else
      GTEST_SKIP() << "named pipes are POSIX's";
#endif
    case StageFault::ImageNotMarkedBootable:
      real_set_boot_image = wimgapi::WIMSetBootImage;
      wimgapi::WIMSetBootImage = &RefuseToMarkBootable;
      break;
  }
  LoadBoth();
  ui_.save_answer = dir_.PathOf("out.mui");
  EXPECT_EQ(builder_.SaveBootScreenFileAsClick().result, TSaveResult::StageFailed);
  EXPECT_THAT(ui_.shown, ElementsAre(Plain(c.shown)));
  EXPECT_EQ(ui_.save_dialogs, 0);
  EXPECT_FALSE(fs::exists(ui_.save_answer));
}

INSTANTIATE_TEST_SUITE_P(
    Save, StageFailure,
    ::testing::Values(
        StageFailureCase{"FileWhereTheWorkingFolderGoes", StageFault::FileWhereTheWorkingFolderGoes,
                         shown::kCreateWorkDir},
        StageFailureCase{"ReadOnlyTemporaryFolder", StageFault::ReadOnlyTemporaryFolder,
                         shown::kCreateWorkDir},
        StageFailureCase{"CaptureFolderNameTooLong", StageFault::CaptureFolderNameTooLong,
                         shown::kCreateCaptureDir},
        StageFailureCase{"TemplateIsAPipe", StageFault::TemplateIsAPipe, shown::kCopyTemplate},
        StageFailureCase{"ImageNotMarkedBootable", StageFault::ImageNotMarkedBootable,
                         shown::SetBootFailed(6)}),  // ERROR_INVALID_HANDLE
    [](const ::testing::TestParamInfo<StageFailureCase>& row) { return std::string(row.param.name); });

// Where only the lock file cannot be made, its own error says so: the folder's message would
// send the user after a read-only folder that is not.
TEST_F(Save, LockFileThatCannotBeMadeInAWritableFolderRaisesItsOwnError) {
  LoadBoth();
  fs::create_directory(Temp() / "mrvn.lock");
  EXPECT_THROW(builder_.GenerateBootScreen(), EFCreateError);
  EXPECT_THAT(ui_.shown, IsEmpty());
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(Temp())) left.push_back(entry.path().filename().string());
  EXPECT_THAT(left, ElementsAre("mrvn.lock"));
}

TEST_F(Save, MissingTemplateLeavesTheNewFoldersBehind) {
  LoadBoth();
  builder_.TemplateOverride = dir_.PathOf("x86template");
  EXPECT_FALSE(builder_.GenerateBootScreen());
  EXPECT_THAT(ui_.shown, ElementsAre(Plain(shown::kNoTemplate)));
  EXPECT_TRUE(fs::is_directory(WorkDir() / "capture"));
}

TEST_F(Save, PictureThatVanishedSinceItWasChosenCannotBeCopied) {
  LoadBoth();
  fs::remove(small_);
  EXPECT_FALSE(builder_.GenerateBootScreen());
  EXPECT_THAT(ui_.shown, ElementsAre(Plain(shown::CopyToWorkDirFailed(small_))));
}

// The WIM records the staged pictures' times: the same pictures must give the same WIM.
TEST_F(Save, StagedPicturesKeepTheirModificationTimes) {
  LoadBoth();
  const fs::file_time_type old_time = fs::last_write_time(small_) - std::chrono::hours(24 * 400);
  fs::last_write_time(small_, old_time);
  ASSERT_TRUE(builder_.PrepareWorkingFolder());
  EXPECT_EQ(fs::last_write_time(WorkDir() / "capture/osload800x600.bmp"), old_time);
}

#ifndef _WIN32
TEST_F(Save, PictureSwappedForAPipeIsNotWaitedFor) {
  LoadBoth();
  fs::remove(big_);
  ASSERT_EQ(::mkfifo(big_.c_str(), 0600), 0);
  bool generated = true;
  EXPECT_TRUE(test::EndsWithoutAWriter(big_, [&] { generated = builder_.GenerateBootScreen(); }));
  EXPECT_FALSE(generated);
  EXPECT_THAT(ui_.Texts(), ElementsAre("An error occurred while copying the file " + big_ +
                                       " to the temporary working directory!"));
  fs::remove(big_);
  dir_.Write("big.bmp", originals_[1]);
}
#endif

TEST_F(Save, TemplateTooShortRaisesBeforeWritingAndTheCursorComesBack) {
  LoadBoth();
  builder_.TemplateOverride = dir_.Write("short-template", Bytes(kSlotOffset - 1, 7));
  ui_.save_answer = dir_.PathOf("out.mui");
  EXPECT_THROW(builder_.SaveBootScreenFileAsClick(), EReadError);
  EXPECT_EQ(test::ReadFileBytes((WorkDir() / "winload.exe.mui").string()), Bytes(kSlotOffset - 1, 7));
  EXPECT_FALSE(ui_.busy_changes.back());
  EXPECT_EQ(ui_.save_dialogs, 0);
}

// One save at a time in the shared folder: a second builder (as a second copy of the program
// would) is turned away while the first holds it, and once the first has saved it may go on.
TEST_F(Save, SecondSaveWhileTheWorkingFolderIsInUseIsTurnedAwayAndTouchesNothing) {
  LoadBoth();
  ASSERT_TRUE(builder_.PrepareWorkingFolder());
  const Bytes staged = test::ReadFileBytes((WorkDir() / "winload.exe.mui").string());
  test::RecordingUserInterface other_ui;
  TBootScreenBuilder other(other_ui);
  other.TemplateOverride = builder_.TemplateOverride;
  other.LoadBrowsedFile(TSlot::Small, small_);
  other.LoadBrowsedFile(TSlot::Big, big_);
  other_ui.save_answer = dir_.PathOf("other.mui");

  EXPECT_EQ(other.SaveBootScreenFileAsClick().result, TSaveResult::StageFailed);
  EXPECT_THAT(other_ui.shown,
              ElementsAre(Plain("The temporary working directory " + builder_.WorkDir +
                                " is in use by another save.  Wait until it has finished, then "
                                "try again.")));
  EXPECT_EQ(test::ReadFileBytes((WorkDir() / "winload.exe.mui").string()), staged);
  EXPECT_TRUE(fs::exists(WorkDir() / "capture/osload1024x768.bmp"));
  EXPECT_FALSE(fs::exists(other_ui.save_answer));

  ui_.save_answer = dir_.PathOf("first.mui");
  EXPECT_EQ(builder_.SaveBootScreenFileAsClick().result, TSaveResult::Saved);
  EXPECT_EQ(other.SaveBootScreenFileAsClick().result, TSaveResult::Saved);
  // The lock file goes with the lock.
  EXPECT_FALSE(fs::exists(Temp() / "mrvn.lock"));
}

TEST_F(Save, PrivateWorkingFolderIsTheRunsOwnAndGoesWhenTheRunEnds) {
  LoadBoth();
  // Someone else's folder under the fixed name is neither in the way nor touched.
  fs::create_directory(WorkDir());
  dir_.Write("temp/mrvn/theirs.txt", Bytes(3, 1));
  builder_.WorkingFolderKind = TWorkingFolder::Private;
  ASSERT_TRUE(builder_.PrepareWorkingFolder());
  const fs::path made = builder_.WorkDir;
  EXPECT_EQ(made.parent_path(), Temp());
  EXPECT_EQ(made.filename().string().rfind("mrvn-", 0), 0u) << made;
#ifndef _WIN32
  EXPECT_EQ(fs::status(made).permissions() & fs::perms::all, fs::perms::owner_all);
#endif
  EXPECT_TRUE(fs::exists(made / "capture/osload800x600.bmp"));

  ui_.save_answer = dir_.PathOf("out.mui");
  EXPECT_EQ(builder_.SaveBootScreenFileAsClick().result, TSaveResult::Saved);
  // A failed run takes its folder along too: no later run would clear it.
  builder_.TemplateOverride = dir_.PathOf("no-template");
  EXPECT_FALSE(builder_.GenerateBootScreen());
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(Temp())) left.push_back(entry.path().filename().string());
  EXPECT_THAT(left, ElementsAre("mrvn"));
  EXPECT_TRUE(fs::exists(WorkDir() / "theirs.txt"));
}

// The removal at the end of the save would take the file along.
TEST_F(Save, TargetInsideTheWorkingFolderIsRefusedBeforeTheCopy) {
  LoadBoth();
  for (const char* name : {"winload.exe.mui", "capture/../out.mui"}) {
    ui_.shown.clear();
    ui_.save_answer = (WorkDir() / name).string();
    EXPECT_EQ(builder_.SaveBootScreenFileAsClick().result, TSaveResult::CopyFailed) << name;
    EXPECT_THAT(ui_.shown,
                ElementsAre(Shown{"Unable to save the boot screen file as " + ui_.save_answer +
                                      ".  It lies inside the temporary working directory, which "
                                      "is removed when the save ends.  Choose another folder.",
                                  "Unable to save", 0x10}));
    EXPECT_FALSE(fs::exists(WorkDir())) << name;
  }
}

// The assembly on its own, with a WIM of a chosen size in place of a captured one.
class Assembly : public Save {
 protected:
  void Stage(std::size_t wim_size, const Bytes& template_bytes) {
    fs::create_directory(WorkDir());
    builder_.WimPath = dir_.Write("temp/mrvn/rcdata.wim", Bytes(wim_size, 0xA5));
    builder_.WorkMuiPath = dir_.Write("temp/mrvn/winload.exe.mui", template_bytes);
  }
  Bytes Template() const { return test::ReadFileBytes(builder_.TemplateOverride); }
};

TEST_F(Assembly, WimThatFillsTheSlotExactlyIsAccepted) {
  Stage(kSlotSize, Template());
  ASSERT_TRUE(builder_.BuildBootScreenFile());
  const Bytes file = test::ReadFileBytes(builder_.WorkMuiPath);
  const Bytes original = Template();
  ASSERT_EQ(file.size(), original.size() + kSlotSize);
  EXPECT_EQ(LoadU32(&file[kSlotSizeFieldOffset]), kSlotSize);
  EXPECT_EQ(file[kSlotOffset + kSlotSize - 1], 0xA5);
  EXPECT_TRUE(std::equal(original.begin() + kSlotOffset, original.end(), file.begin() + kSlotOffset + kSlotSize));
  EXPECT_THAT(ui_.shown, IsEmpty());
}

TEST_F(Assembly, OneByteMoreIsRefusedAndTheStagedFileLeftAlone) {
  Stage(kSlotSize + 1, Template());
  EXPECT_FALSE(builder_.BuildBootScreenFile());
  EXPECT_THAT(ui_.shown, ElementsAre(Shown{shown::kWimTooBig, shown::kUnableToSaveCaption, 0x10}));
  EXPECT_EQ(test::ReadFileBytes(builder_.WorkMuiPath), Template());
}

TEST_F(Assembly, SizeFieldHoldsTheWimsLengthAndTheRestIsFiller) {
  Stage(1000, Template());
  ASSERT_TRUE(builder_.BuildBootScreenFile());
  const Bytes file = test::ReadFileBytes(builder_.WorkMuiPath);
  EXPECT_EQ(LoadU32(&file[kSlotSizeFieldOffset]), 1000u);
  EXPECT_EQ(file[kSlotOffset + 999], 0xA5);
  EXPECT_EQ(file[kSlotOffset + 1000], 0);
}

TEST_F(Assembly, TemplateOfExactlyTheSlotOffsetGetsTheSlotAppended) {
  Bytes bare = Template();
  bare.resize(kSlotOffset);
  Stage(10, bare);
  ASSERT_TRUE(builder_.BuildBootScreenFile());
  EXPECT_EQ(fs::file_size(builder_.WorkMuiPath), kSlotOffset + kSlotSize);
}

TEST_F(Assembly, RunningOutOfMemoryIsSaidInTheUsersWords) {
  if (sizeof(void*) > 4) GTEST_SKIP() << "only a 32-bit process runs out of room for the copy";
  Stage(10, Template());
  // Almost 2 GB, sparse: more than a 32-bit process can hold in one piece.
  fs::resize_file(builder_.WimPath, 0x7FF00000);
  try {
    builder_.BuildBootScreenFile();
    ADD_FAILURE() << "no error";
  } catch (const Exception& error) {
    EXPECT_STREQ(error.what(), "Out of memory while expanding memory stream");
  }
}

TEST(ImageChecksum, NamesWhatIsWrongWithTheFile) {
  const test::TempDir dir;
  EXPECT_EQ(platform::ComputeImageChecksum(""), 0u);
  const std::string missing = dir.PathOf("missing.mui");
  try {
    platform::ComputeImageChecksum(missing);
    ADD_FAILURE() << "no error for a missing file";
  } catch (const Exception& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot open file \"" + missing + "\"");
  }
  try {
    platform::ComputeImageChecksum(dir.Write("text.mui", Bytes(4000, 'x')));
    ADD_FAILURE() << "no error for a file that is not a module";
  } catch (const Exception& error) {
    EXPECT_STREQ(error.what(), "This is not a PE format");
  }
}

TEST(ImageChecksum, AgreesWithTheRuleOnOddAndEvenLengths) {
  const test::TempDir dir;
  const Bytes module = test::ReadFileBytes(test::BinFolder() + "x86template");
  for (std::size_t extra : {0u, 1u, 2u, 3u}) {
    Bytes bytes = module;
    bytes.insert(bytes.end(), extra, 0xEE);
    const std::string path = dir.Write("m" + std::to_string(extra), bytes);
    EXPECT_EQ(platform::ComputeImageChecksum(path), module::ComputePeChecksum(bytes))
        << "extra " << extra;
  }
}

TEST(ShellDeleteFolder, RemovesATreeAndRefusesWhatIsNotThere) {
  const test::TempDir dir;
  fs::create_directories(dir.path() / "tree/sub");
  dir.Write("tree/sub/file", Bytes(3, 0));
  dir.Write("tree/file", Bytes(3, 0));
  EXPECT_TRUE(platform::ShellDeleteFolder(dir.PathOf("tree")));
  EXPECT_FALSE(fs::exists(dir.path() / "tree"));
  EXPECT_FALSE(platform::ShellDeleteFolder(dir.PathOf("tree")));
  // Far longer than any fixed buffer would hold: handled, never cut short or overrun.
  EXPECT_FALSE(platform::ShellDeleteFolder(dir.PathOf(std::string(600, 'x'))));
}

#if SIZE_MAX < UINT64_MAX
// Cut to 32 bits, the size of a file past 4 GiB would read as that of a 3-byte file.
TEST(WholeFileRead, FileTooLargeForThe32BitBuildIsRefused) {
  const test::TempDir dir;
  const std::string path = dir.Write("huge.wim", Bytes(3, 1));
  fs::resize_file(path, (std::uintmax_t{1} << 32) + 3);  // sparse: no room taken on the disk
  try {
    platform::ReadWholeFile(path);
    ADD_FAILURE() << "a file past 4 GiB was read";
  } catch (const EFOpenError& error) {
    EXPECT_EQ(std::string(error.what()),
              "Cannot open file \"" + path + "\". It is too large to be read into memory whole");
  }
}
#endif

TEST(HostTest, ThisHostIsNotSixtyFourBitWindows) { EXPECT_FALSE(platform::IsWow64()); }

}  // namespace
}  // namespace marivane
