// The narrow interface between the portable builder and the system it runs on. One
// implementation per platform (platform_win32.cpp, platform_posix.cpp); CMake picks it.
// platform_common.cpp holds what both build the same way.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/stream.h"

namespace marivane::platform {

// --- Errors ---

// The system's own text for an error code, as the system gives it (trailing line break and
// all); an empty string when it has none.
std::string SystemErrorText(std::uint32_t code);

// The error for a code the system reported, with the system's text for it:
// "System Error.  Code: 5.\r\nAccess is denied".
EOSError OSError(std::uint32_t code);

// --- Files and folders ---

// What joins a folder and a name: a backslash on Windows, a slash elsewhere.
extern const char kPathSeparator;

// The parent of the working folder: TEMP on Windows (empty when unset); elsewhere TEMP, else
// TMPDIR, else /tmp, so that an ordinary Linux session has one.
std::string TemporaryFolder();
// The environment variable TemporaryFolder took it from ("TEMP"); null for the /tmp that
// stands in where none is set.
const char* TemporaryFolderVariable();

// The folder the running program lies in, with its trailing separator.
std::string ProgramFolder();

bool DirectoryExists(const std::string& path);
bool FileExists(const std::string& path);
// Whether anything lies at `path` itself: a symbolic link counts, even one that leads nowhere.
// Raises EWriteError naming `path`, with the system's code and text, when the system cannot
// tell (a loop of links on the way, a name too long, a folder that may not be searched):
// nothing could be written there either.
bool EntryExists(const std::string& path);
// One level, no parents. True when this call made the folder; the caller looks at the file
// system afterwards all the same.
bool CreateFolder(const std::string& path);
// What CopyFileTo does with a file already at the target.
enum class TCopyMode { ReplaceExisting, NewFileOnly };
// Copies a file byte for byte with its modification time; false when it could not, when the
// source is not a regular file (found out without waiting on a pipe), or when the target
// exists and `mode` is NewFileOnly. For the working folder: a user's file is written with
// CopyFileAtomically (file_replacement.h).
bool CopyFileTo(const std::string& source, const std::string& target, TCopyMode mode);
// Gives `target` the modification time of `source`; false when either cannot be reached.
bool CopyModificationTime(const std::string& source, const std::string& target);

// A whole file in memory. Raises EFOpenError "Cannot open file ..." (also for a file too
// large to be held in this program's memory at all) or EReadError.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);
// Creates or truncates the file and writes all of `bytes`, holding it exclusively meanwhile.
// Raises EFCreateError "Cannot create file ..." or EWriteError "Stream write error" with the
// path and the system's code.
void WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);


// Opens a file for reading, letting others read but not write it while it is open. Raises
// EFOpenError with "Cannot open file ..." when it cannot be opened (a folder included) or
// is a pipe, a device or a socket; the open never waits for a writer.
std::unique_ptr<TStream> OpenFileForReading(const std::string& path);

// The imaging library takes UTF-16 paths; ours are 8-bit strings in the system's code page
// (UTF-8 on Linux).
std::u16string ToWidePath(const std::string& path);

// --- Working folders and their lock ---

// Whether the temporary folder may be one that other users share (/tmp on Linux), where a
// fixed name could be taken or planted by someone else. Windows gives each user a TEMP of
// their own.
extern const bool kTemporaryFolderIsShared;

// Makes a new folder under `parent`, named `prefix` and a few characters of the system's
// choosing, that only this user may enter (mode 0700 on POSIX). Its path, or an empty string
// when none could be made.
std::string CreatePrivateFolder(const std::string& parent, const std::string& prefix);

// True when `path` names `folder` itself or anything below it. Both are made absolute first;
// a path spelled another way (a "..", a symbolic link, a short name, another letter case on
// Windows) is caught by comparing the identity of each existing folder on the way up with
// the folder's.
bool IsInsideFolder(const std::string& path, const std::string& folder);

// POSIX only: whether `path` is `folder` or lies below it by spelling alone, for paths that
// are already absolute with their links resolved: "/a/b" lies under "/a", "/ab" does not, and
// everything lies under "/". IsInsideFolder's first step; on its own where the identity of
// folders must not be asked for, as for mount points.
bool IsPathUnder(const std::string& path, const std::string& folder);

// A lock that one holder at a time can have, across processes; held while the object lives.
class TFileLock {
 public:
  virtual ~TFileLock() = default;
};

// Takes the lock that the file at `path` stands for, creating the file, without waiting: null
// when another holder has it, in this process or another. Raises EFCreateError "Cannot create
// file ..." when the file cannot be created or locked. The file goes again with the lock.
std::unique_ptr<TFileLock> TryLockFile(const std::string& path);

// --- Displayable images ---

// What the system makes of a decoded picture for drawing; opaque to the builder.
class TDisplayImage {
 public:
  virtual ~TDisplayImage() = default;
};

// A bitmap as the bitmap reader hands it on: the info header (at least 40 bytes; the extra
// bytes of the larger variants kept), the colour masks and colour table as they follow the
// header in memory, and the pixel data.
struct TBitmapImageSpec {
  std::vector<std::uint8_t> header;
  std::vector<std::uint8_t> color_table;
  std::vector<std::uint8_t> bits;
  bool device_independent = true;  // false: run-length data for the system to decode
};

// Creates the image the preview draws. Raises EOSError when the system refuses it with an
// error code, EInvalidGraphic "Bitmap image is not valid" when it refuses without one.
std::shared_ptr<TDisplayImage> CreateBitmapImage(TBitmapImageSpec spec);

// An icon from the bytes of one icon image (a DIB or PNG as stored in an .ico file); null
// when the system cannot make one of them.
std::shared_ptr<TDisplayImage> CreateIconImage(const std::vector<std::uint8_t>& image,
                                               int width, int height);

// The two kinds of metafile records CreateMetafileImage takes.
enum class TMetafileKind {
  Enhanced,  // an enhanced metafile (EMF) whole
  Windows,   // a Windows metafile (WMF) without its placeable header
};
// A metafile from its records; null when the system cannot make one of them.
std::shared_ptr<TDisplayImage> CreateMetafileImage(const std::vector<std::uint8_t>& records,
                                                   TMetafileKind kind);

// Pixels per logical inch of the screen, for metafile sizes.
int ScreenPixelsPerInch();

// The system's large icon size, reported by an icon that does not state its own.
int SystemIconSize();

}  // namespace marivane::platform
