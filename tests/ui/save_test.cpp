// The menu's save command from the window: the busy cursor, the save dialog, the outcome box
// and what is left on disk.
#include "ui_test_support.h"

#include <cstdlib>

#include "builder/boot_screen_builder.h"
#include "platform/platform.h"
#include "resources/resource.h"
#include "support/shown_texts.h"

namespace marivane::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

constexpr std::uintmax_t kSlotSize = 3799408;

class SaveCommand : public Windows {
 protected:
  void LoadBothSlots() {
    const std::string small = dir_.Write("small.bmp", MakeBitmap({}));
    const std::string big = dir_.Write("big.bmp", MakeBitmap({.width = 1024, .height = 768}));
    form_->LoadDroppedFile(TSlot::Small, small);
    form_->LoadDroppedFile(TSlot::Big, big);
  }
  bool WorkingFolderExists() { return fs::exists(dir_.path() / "temp" / "mrvn"); }
  HCURSOR Wait() { return LoadCursorA(nullptr, IDC_WAIT); }
  HCURSOR Arrow() { return LoadCursorA(nullptr, IDC_ARROW); }
};

// With MARIVANE_UI_SAVE_DIR set, the file is left there (with its two pictures) for the
// readers of ui_saved_file_test.py.
TEST_F(SaveCommand, WritesTheFileChosenInTheSaveDialog) {
  std::string folder = dir_.path().string();
  if (const char* keep = std::getenv("MARIVANE_UI_SAVE_DIR")) folder = keep;
  // No default extension: the name is used as typed.
  const std::string target = folder + "\\boot-screen";
  std::error_code ignored;
  fs::remove(target, ignored);
  LoadBothSlots();
  if (std::getenv("MARIVANE_UI_SAVE_DIR")) {
    fs::copy_file(form_->SmallImagePath, folder + "\\small.bmp", fs::copy_options::overwrite_existing);
    fs::copy_file(form_->BigImagePath, folder + "\\big.bmp", fs::copy_options::overwrite_existing);
  }
  ShowMain();
  HCURSOR in_dialog = nullptr;
  std::string proposed, filter;
  bool main_enabled = true;
  TDialogDriver driver;
  driver
      .Then([&](HWND dialog) {
        in_dialog = application_->ScreenCursor();
        proposed = FileNameBoxText(dialog);
        char first[64] = {};
        SendMessageA(GetDlgItem(dialog, 0x470), CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(first));
        filter = first;
        main_enabled = IsWindowEnabled(form_->Handle()) != FALSE;
        EnterFileName(target)(dialog);
      })
      .Then(Press(IDOK));
  Command(IDM_SAVEBOOTSCREENFILEAS);

  ASSERT_EQ(driver.seen.size(), 2u);
  EXPECT_THAT(driver.seen[1], MessageBoxOf(shown::kSaved, shown::kSavedCaption, TIcon::Information));
  EXPECT_EQ(in_dialog, Wait()) << "busy from the start of the command to the dialog";
  EXPECT_EQ(driver.seen[1].cursor, Arrow()) << "the arrow over the outcome box";
  EXPECT_EQ(application_->ScreenCursor(), nullptr) << "the cursor is restored";
  EXPECT_EQ(proposed, "winload.exe.mui");
  EXPECT_EQ(filter, "MUI Files (*.mui)");
  EXPECT_FALSE(main_enabled);
  ASSERT_TRUE(fs::exists(target));
  EXPECT_FALSE(fs::exists(target + ".mui"));
  EXPECT_EQ(fs::file_size(target), fs::file_size(BinFolder() + "x86template") + kSlotSize);
  EXPECT_FALSE(WorkingFolderExists());
}

TEST_F(SaveCommand, AsksBeforeReplacingAnExistingFile) {
  const std::string target = dir_.Write("existing.mui", Bytes{1, 2, 3});
  LoadBothSlots();
  ShowMain();
  TDialogDriver driver;
  // Wine's prompt has words of its own; what matters is that one comes and Yes replaces.
  driver.Then(EnterFileName(target)).Then(Press(IDYES)).Then(Press(IDOK));
  Command(IDM_SAVEBOOTSCREENFILEAS);
  ASSERT_EQ(driver.seen.size(), 3u);
  EXPECT_EQ(driver.seen[1].owner, driver.seen[0].window) << "the prompt belongs to the dialog";
  EXPECT_THAT(driver.seen[2], MessageBoxOf(shown::kSaved, shown::kSavedCaption, TIcon::Information));
  EXPECT_GT(fs::file_size(target), kSlotSize);
}

// A save that fails part way through replacing a file leaves that file as it was. The failure
// is a file system with no room left, which cli_faults_test.py mounts and names here.
TEST_F(SaveCommand, FailedSaveLeavesTheFileItWouldReplace) {
  const char* on_full_disk = std::getenv("MARIVANE_UI_FULL_TARGET");
  if (on_full_disk == nullptr) GTEST_SKIP() << "run by cli_faults_test.py, which gives it a full disk";
  const std::string target = on_full_disk;
  const Bytes before = ReadFileBytes(target);
  LoadBothSlots();
  ShowMain();
  TDialogDriver driver;
  driver.Then(EnterFileName(target)).Then(Press(IDYES)).Then(Press(IDOK));
  Command(IDM_SAVEBOOTSCREENFILEAS);
  ASSERT_EQ(driver.seen.size(), 3u);
  EXPECT_THAT(driver.seen[2], MessageBoxOf(shown::kSaveFailed, shown::kUnableToSaveCaption, TIcon::Error));
  EXPECT_EQ(ReadFileBytes(target), before);
  EXPECT_FALSE(WorkingFolderExists());
}

// A temporary folder that takes nothing new gets the working folder's own message, not the lock
// file's error. cli_faults_test.py mounts one read-only and names it here.
TEST_F(SaveCommand, ReadOnlyTemporaryFolderGetsTheWorkingFoldersMessage) {
  const char* read_only = std::getenv("MARIVANE_UI_READ_ONLY_TEMP");
  if (read_only == nullptr) GTEST_SKIP() << "run by cli_faults_test.py, which mounts a read-only one";
  const ScopedEnvironment temp("TEMP", read_only);
  LoadBothSlots();
  ShowMain();
  TDialogDriver driver;
  driver.Then(Press(IDOK));
  Command(IDM_SAVEBOOTSCREENFILEAS);
  EXPECT_THAT(driver.seen, ElementsAre(PlainMessage(shown::kCreateWorkDir)));
}

TEST_F(SaveCommand, CancelledDialogLeavesTheWorkingFolder) {
  LoadBothSlots();
  ShowMain();
  TDialogDriver driver;
  driver.Then(Cancel());
  Command(IDM_SAVEBOOTSCREENFILEAS);
  ASSERT_EQ(driver.seen.size(), 1u);
  EXPECT_FALSE(driver.seen[0].unexpected);
  EXPECT_TRUE(WorkingFolderExists());
  EXPECT_EQ(application_->ScreenCursor(), nullptr);
}

TEST_F(SaveCommand, WithoutValidPicturesShowsOnlyTheRejection) {
  ShowMain();
  TDialogDriver driver;
  driver.Then(Press(IDOK));
  Command(IDM_SAVEBOOTSCREENFILEAS);
  ASSERT_THAT(driver.seen, ElementsAre(PlainMessage(shown::kSmallRejection)));
  EXPECT_EQ(driver.seen[0].cursor, Arrow()) << "the arrow over a plain message";
  EXPECT_EQ(driver.seen[0].owner, application_->Handle());
  EXPECT_EQ(application_->ScreenCursor(), nullptr);
  EXPECT_FALSE(WorkingFolderExists());
}

TEST_F(SaveCommand, PlainMessageClosesWithEnterOrEscAndDisablesTheWindows) {
  ShowMain();
  application_->SetScreenCursor(LoadCursorA(nullptr, IDC_WAIT));
  bool main_enabled = true;
  bool centred = false;
  TDialogDriver driver;
  auto check_and_press = [&](UINT key) {
    return [&, key](HWND box) {
      main_enabled = IsWindowEnabled(form_->Handle()) != FALSE;
      RECT bounds{};
      GetWindowRect(box, &bounds);
      const int left = (GetSystemMetrics(SM_CXSCREEN) - (bounds.right - bounds.left)) / 2;
      const int top = (GetSystemMetrics(SM_CYSCREEN) - (bounds.bottom - bounds.top)) / 2;
      centred = std::abs(bounds.left - left) <= 1 && std::abs(bounds.top - top) <= 1;
      PressKey(box, key);
    };
  };
  driver.Then(check_and_press(VK_RETURN)).Then(check_and_press(VK_ESCAPE));
  form_->ShowMessage("First");
  form_->ShowMessage("Second");
  EXPECT_THAT(driver.seen, ElementsAre(PlainMessage("First"), PlainMessage("Second")));
  EXPECT_EQ(driver.seen[0].screen_cursor, nullptr);
  EXPECT_FALSE(main_enabled);
  EXPECT_TRUE(centred);
  EXPECT_TRUE(IsWindowEnabled(form_->Handle()));
  EXPECT_EQ(application_->ScreenCursor(), LoadCursorA(nullptr, IDC_WAIT)) << "busy again after";
}

}  // namespace
}  // namespace marivane::test
