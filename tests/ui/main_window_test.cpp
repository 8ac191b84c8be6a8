// The main window driven as the user drives it: browsing through the open dialog, dropping
// files on the slots and beside them, the 64-bit warning and the default handler.
#include "ui_test_support.h"

#include "builder/boot_screen_builder.h"
#include "base/errors.h"
#include "resources/resource.h"
#include "support/shown_texts.h"

namespace marivane::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Neither a bitmap nor a photo, whatever its name says.
const Bytes kNotAPicture = {'G', 'I', 'F', ' ', 'i', 's', ' ', 'n', 'o', 't', ' ', 'h', 'e', 'r', 'e'};

std::string MenuText(const ui::TMenuItem& item) {
  char text[64] = {};
  GetMenuStringA(item.parent, item.position, text, sizeof(text), MF_BYPOSITION);
  return text;
}

bool IsSeparator(const ui::TMenuItem& item) {
  MENUITEMINFOA info{};
  info.cbSize = sizeof(info);
  info.fMask = MIIM_FTYPE;
  GetMenuItemInfoA(item.parent, item.position, TRUE, &info);
  return (info.fType & MFT_SEPARATOR) != 0;
}

bool AcceptsDrops(HWND window) { return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0; }

using MainWindow = Windows;

TEST_F(MainWindow, HasItsComponentsMenuFocusOrderAndDropTargets) {
  ShowMain();
  HWND main = form_->Handle();
  EXPECT_EQ(WindowText(main), "Marivane");
  const LONG style = GetWindowLongA(main, GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_THICKFRAME));
  EXPECT_EQ(GetWindow(main, GW_OWNER), application_->Handle()) << "no task-bar button of its own";
  RECT client{};
  GetClientRect(main, &client);
  EXPECT_EQ(client.right, ui::Scaled(512));
  EXPECT_EQ(client.bottom, ui::Scaled(257));

  EXPECT_EQ(WindowText(form_->GroupBox1.Handle()), "800 x 600 (24-bit)");
  EXPECT_EQ(WindowText(form_->GroupBox2.Handle()), "1024 x 768 (24-bit)");
  EXPECT_EQ(GetParent(form_->Button1), form_->GroupBox1.Handle());
  EXPECT_EQ(GetParent(form_->Button2), form_->GroupBox2.Handle());
  EXPECT_EQ(WindowText(form_->Button1), "Browse for image...");
  EXPECT_EQ(WindowText(form_->Label2), "No image loaded");
  EXPECT_TRUE(IsWindowVisible(form_->Label1));
  EXPECT_FALSE(IsWindowVisible(form_->ApplyButton));
  EXPECT_EQ(WindowText(form_->SmallFileName), "");
  // The button's text fits it, whatever font this system gives for MS Sans Serif 8.
  for (HWND button : {form_->Button1, form_->Button2}) {
    RECT bounds{};
    GetClientRect(button, &bounds);
    const auto font = reinterpret_cast<HFONT>(SendMessageA(button, WM_GETFONT, 0, 0));
    EXPECT_LE(ui::TextSize(font, "Browse for image...").cx + ui::Scaled(8), bounds.right);
    EXPECT_GE(bounds.right, ui::Scaled(107));
  }

  EXPECT_EQ(MenuText(form_->File1), "&File");
  EXPECT_EQ(MenuText(form_->OpenBootScreenFile), "&Open Boot Screen File...");
  EXPECT_EQ(MenuText(form_->SaveBootScreenFileAs), "&Save Boot Screen File As...");
  EXPECT_TRUE(IsSeparator(form_->N2));
  EXPECT_EQ(MenuText(form_->Select800x600Image), "Select 800x600 Image...");
  EXPECT_EQ(MenuText(form_->Select1024x768Image), "Select 1024x768 Image...");
  EXPECT_EQ(MenuText(form_->Import800x600Picture), "Import Picture for &800 x 600...");
  EXPECT_EQ(MenuText(form_->Import1024x768Picture), "Import Picture for &1024 x 768...");
  EXPECT_EQ(MenuText(form_->PreviewAtBoot), "&Preview at Boot...");
  EXPECT_EQ(MenuText(form_->BootScreenTemplate), "Boot Screen &Template...");
  EXPECT_TRUE(IsSeparator(form_->N3));
  EXPECT_EQ(MenuText(form_->InstallBootScreenItem), "&Install Boot Screen...");
  EXPECT_EQ(MenuText(form_->RestoreOriginalBootScreen), "&Restore Original Boot Screen");
  EXPECT_TRUE(IsSeparator(form_->N1));
  EXPECT_EQ(MenuText(form_->Exit1), "E&xit");
  EXPECT_EQ(MenuText(form_->Help1), "&Help");
  EXPECT_EQ(MenuText(form_->About1), "&About");
  EXPECT_EQ(GetMenuItemCount(GetSubMenu(form_->MainMenu1, 0)), 14);

  EXPECT_EQ(GetFocus(), form_->Button1);
  EXPECT_EQ(GetNextDlgTabItem(main, form_->Button1, FALSE), form_->Button2);
  EXPECT_EQ(GetNextDlgTabItem(main, form_->Button2, FALSE), form_->Button1)
      << "the hidden ApplyButton takes no focus";

  EXPECT_TRUE(AcceptsDrops(form_->GroupBox1.Handle()));
  EXPECT_TRUE(AcceptsDrops(form_->GroupBox2.Handle()));
  for (HWND other : {main, form_->Button1, form_->Button2, form_->Label1,
                     form_->ImageSmall.Handle(), form_->ApplyButton})
    EXPECT_FALSE(AcceptsDrops(other));
  // The shell delivers a drop to the window that answers the hit test: the box, not the form.
  RECT box{};
  GetWindowRect(form_->GroupBox1.Handle(), &box);
  EXPECT_EQ(SendMessageA(form_->GroupBox1.Handle(), WM_NCHITTEST, 0,
                         MAKELPARAM(box.left + 60, box.top + 60)),
            HTCLIENT);
}

TEST_F(MainWindow, BrowseLoadsTheChosenFileIntoItsSlot) {
  const std::string small = dir_.Write("small.bmp", MakeBitmap({}));
  ShowMain();
  bool owner_disabled = false;
  std::string dialog_title, filter, all_pictures, prefilled;
  bool read_only_hidden = false, resizable = false, placed = false;
  TDialogDriver driver;
  driver
      .Then([&](HWND dialog) {
        dialog_title = WindowText(dialog);
        owner_disabled = !IsWindowEnabled(form_->Handle());
        char first[64] = {};
        SendMessageA(GetDlgItem(dialog, 0x470), CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(first));
        filter = first;
        SendMessageA(GetDlgItem(dialog, 0x470), CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(first));
        all_pictures = first;
        HWND read_only = GetDlgItem(dialog, 0x410);
        read_only_hidden = read_only == nullptr || !IsWindowVisible(read_only);
        resizable = (GetWindowLongA(dialog, GWL_STYLE) & WS_THICKFRAME) != 0;
        // Centred across the monitor and a third of the way down.
        RECT bounds{};
        GetWindowRect(dialog, &bounds);
        MONITORINFO monitor{};
        monitor.cbSize = sizeof(monitor);
        GetMonitorInfoA(MonitorFromWindow(form_->Handle(), MONITOR_DEFAULTTOPRIMARY), &monitor);
        const RECT& area = monitor.rcWork;
        const int left = (area.right - area.left - (bounds.right - bounds.left)) / 2;
        const int top = (area.bottom - area.top - (bounds.bottom - bounds.top)) / 3;
        placed = std::abs(bounds.left - left) <= 1 && std::abs(bounds.top - top) <= 1;
        EnterFileName(small)(dialog);
      })
      .Then([&](HWND dialog) {
        prefilled = FileNameBoxText(dialog);
        EnterFileName(small)(dialog);
      })
      .Then(Press(IDOK));
  SendMessageA(form_->Button1, BM_CLICK, 0, 0);
  EXPECT_EQ(form_->SmallImagePath, small);
  EXPECT_EQ(form_->SmallPicture.width(), 800);
  EXPECT_FALSE(IsWindowVisible(form_->Label1)) << "the picture covers the label";
  EXPECT_TRUE(IsWindowEnabled(form_->Handle()));
  EXPECT_EQ(WindowText(form_->SmallFileName), "small.bmp");
  EXPECT_EQ(ToolTipText(form_->Tips.Handle(), form_->GroupBox1.Handle()), small);

  // The menu item browses for the big slot; the dialog remembers the last name.
  Command(IDM_SELECT1024X768IMAGE);
  EXPECT_EQ(form_->BigImagePath, small);
  EXPECT_EQ(form_->BigPicture.width(), 800);
  ASSERT_EQ(driver.seen.size(), 3u);
  EXPECT_THAT(driver.seen[2], PlainMessage(shown::kBigRejection));
  EXPECT_EQ(driver.seen[0].owner, application_->Handle());
  EXPECT_EQ(dialog_title, "Select a Bitmap Image...");
  EXPECT_TRUE(owner_disabled) << "the dialog is modal to the whole program";
  EXPECT_EQ(filter, "Bitmap files (*.bmp)");
  EXPECT_EQ(all_pictures, "All pictures (*.bmp;*.jpg;*.jpeg;*.png;*.gif;*.tif;*.tiff)");
  EXPECT_TRUE(read_only_hidden);
  EXPECT_TRUE(resizable);
  EXPECT_TRUE(placed);
  EXPECT_THAT(prefilled, ::testing::HasSubstr("small.bmp"));
}

TEST_F(MainWindow, BrowseCancelledOrFailedLeavesTheSlotAsItWas) {
  const std::string small = dir_.Write("small.bmp", MakeBitmap({}));
  const std::string not_bitmap = dir_.Write("bad.bmp", kNotAPicture);
  const std::string jpg = dir_.Write("PHOTO.JPG", kNotAPicture);
  const std::string missing = dir_.PathOf("missing.bmp");
  ShowMain();
  TDialogDriver driver;
  driver.Then(EnterFileName(small))
      .Then(Cancel())
      .Then(EnterFileName(not_bitmap)).Then(Press(IDOK))
      .Then(EnterFileName(jpg)).Then(Press(IDOK))
      // A typed name need not exist: the dialog lets it through and loading fails.
      .Then(EnterFileName(missing)).Then(Press(IDOK));
  for (int i = 0; i < 5; ++i) Command(IDM_SELECT800X600IMAGE);

  ASSERT_EQ(driver.seen.size(), 8u);
  EXPECT_THAT(driver.seen[3], ErrorBox("Bitmap image is not valid."));
  EXPECT_THAT(driver.seen[5], ErrorBox("Unknown picture file extension (.JPG)"));
  EXPECT_THAT(driver.seen[7].text, ::testing::StartsWith("Cannot open file \"" + missing + "\". "));
  EXPECT_THAT(driver.seen[7], ErrorBox(driver.seen[7].text));
  EXPECT_EQ(form_->SmallPicture.width(), 800) << "the valid picture stays";
  EXPECT_FALSE(IsWindowVisible(form_->Label1));
}

TEST_F(MainWindow, DroppingOneFileFillsTheSlotItLandsOn) {
  const std::string small = dir_.Write("small.bmp", MakeBitmap({}));
  const std::string big = dir_.Write("big.bmp", MakeBitmap({.width = 1024, .height = 768}));
  ShowMain();
  TDialogDriver driver;
  driver.Then(Press(IDOK));

  HDROP first = MakeDrop({small});
  Drop(form_->GroupBox1.Handle(), first);
  EXPECT_TRUE(DropReleased(first));
  EXPECT_EQ(form_->SmallImagePath, small);
  EXPECT_EQ(form_->SmallPicture.width(), 800);
  EXPECT_EQ(form_->BigPicture.kind(), TPictureKind::Empty);

  HDROP second = MakeDrop({small});
  Drop(form_->GroupBox2.Handle(), second);
  EXPECT_TRUE(DropReleased(second));
  EXPECT_THAT(driver.seen, ElementsAre(PlainMessage(shown::kBigRejection)));

  HDROP third = MakeDrop({big});
  Drop(form_->GroupBox2.Handle(), third);
  EXPECT_TRUE(DropReleased(third));
  EXPECT_EQ(form_->BigImagePath, big);
  EXPECT_EQ(driver.seen.size(), 1u);
}

TEST_F(MainWindow, DroppingTwoFilesOrBesideTheSlotsChangesNothing) {
  const std::string small = dir_.Write("small.bmp", MakeBitmap({}));
  ShowMain();
  TDialogDriver driver;
  driver.Then(Press(IDOK)).Then(Press(IDOK));
  for (HWND box : {form_->GroupBox1.Handle(), form_->GroupBox2.Handle()}) {
    HDROP two = MakeDrop({small, small});
    Drop(box, two);
    EXPECT_TRUE(DropReleased(two));
  }
  EXPECT_THAT(driver.seen, ElementsAre(PlainMessage(shown::kOneFile),
                                       PlainMessage(shown::kOneFile)));
  // The window itself takes no drop.
  HDROP beside = MakeDrop({small});
  Drop(form_->Handle(), beside);
  GlobalFree(beside);
  EXPECT_EQ(driver.seen.size(), 2u);
  EXPECT_THAT(form_->SmallImagePath, IsEmpty());
  EXPECT_THAT(form_->BigImagePath, IsEmpty());
  EXPECT_EQ(form_->SmallPicture.kind(), TPictureKind::Empty);
}

TEST_F(MainWindow, DroppedFilesThatAreNoPictureGetTheirMessages) {
  const std::string jpg = dir_.Write("PHOTO.JPG", kNotAPicture);
  const std::string not_bitmap = dir_.Write("x.bmp", kNotAPicture);
  const std::string short_file = dir_.Write("short.bmp", Bytes(10, 'B'));
  ShowMain();
  TDialogDriver driver;
  driver.Then(Press(IDOK)).Then(Press(IDOK)).Then(Press(IDOK));
  for (const std::string& file : {jpg, not_bitmap, short_file}) {
    HDROP drop = MakeDrop({file});
    Drop(form_->GroupBox1.Handle(), drop);
    EXPECT_TRUE(DropReleased(drop)) << file;
  }
  // A truncated file is the loader's own error, shown by the default handler.
  EXPECT_THAT(driver.seen, ElementsAre(PlainMessage(shown::kUnsupportedDrop),
                                       PlainMessage(shown::kUnsupportedDrop),
                                       ErrorBox("Stream read error.")));
  EXPECT_TRUE(IsWindowVisible(form_->Handle())) << "the program carries on";
}

TEST_F(MainWindow, FirstShowWarnsAndClosesOnA64BitHost) {
  bool visible_during_test = true;
  form_->host_is_wow64 = [&] {
    visible_during_test = IsWindowVisible(form_->Handle()) != FALSE;
    return true;
  };
  TDialogDriver driver;
  driver.Then(Press(IDOK));
  form_->Show();
  EXPECT_FALSE(visible_during_test) << "the test runs before the window is shown";
  EXPECT_THAT(driver.seen, ElementsAre(MessageBoxOf(shown::kX64, shown::kX64Caption, TIcon::Error)));
  EXPECT_TRUE(QuitPosted()) << "closing the main window ends the program";
}

TEST_F(MainWindow, FirstShowOnA32BitHostShowsNothing) {
  TDialogDriver driver;
  form_->Show();
  Pump(20);
  EXPECT_THAT(driver.seen, IsEmpty());
  EXPECT_FALSE(QuitPosted());
  EXPECT_TRUE(IsWindowVisible(form_->Handle()));
}

// The default handler appends a full stop only when the text ends in a character after "."
// in code order: a letter, a digit, "?" -- never after ".", "!" or ")".
TEST_F(MainWindow, DefaultHandlerShowsErrorsWithTheFullStopRule) {
  const std::pair<std::string, std::string> cases[] = {
      {"Bad process handle.  WARNING! DO NOT USE THIS APPLICATION IN AN x64 ENVIRONMENT!",
       "Bad process handle.  WARNING! DO NOT USE THIS APPLICATION IN AN x64 ENVIRONMENT!"},
      {"Bitmap image is not valid", "Bitmap image is not valid."},
      {"Code 5", "Code 5."},
      {"Really?", "Really?."},
      {"Unknown picture file extension (.jpg)", "Unknown picture file extension (.jpg)"},
      {"Done.", "Done."},
  };
  for (const auto& [message, shown] : cases) {
    ui::TForm1& form = application_->CreateForm<ui::TForm1>();
    form.host_is_wow64 = [message = message]() -> bool { throw Exception(message); };
    TDialogDriver driver;
    driver.Then(Press(IDOK));
    form.Show();
    EXPECT_THAT(driver.seen, ElementsAre(ErrorBox(shown)));
    EXPECT_TRUE(IsWindowVisible(form.Handle())) << "the rest of the first showing is skipped";
    EXPECT_FALSE(QuitPosted());
  }
}

}  // namespace
}  // namespace marivane::test
