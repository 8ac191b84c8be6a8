// Writing a user's file whole or not at all. A save that fails half-way, a full disk, or a
// program killed during the write must never leave the user with a truncated file, nor take
// away the one they asked to replace.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace marivane::platform {

// A new file that takes the place of `target` only once it is complete. It is written under a
// temporary name in the target's own folder (".marivane-" + RunStamp() + 8 hex digits +
// ".tmp", leftovers.h), so that the final rename never crosses from one file system to
// another; the name is new and the file created exclusively, never one that was there before.
// Such files that runs now ended left in that folder are removed first. On Windows the new
// file takes the replaced one's access control list; where the folder lets the user write the
// target but not make or rename files in it, the finished content is copied over the target
// instead (file_replacement_win32.cpp). On POSIX it gets the mode a
// plain creation would get, or the existing target's. Commit flushes the file to the disk and
// renames it over the target; on every other way out, an exception included, the temporary
// file is removed and the target, a file or a folder, is exactly as it was.
//
// Every failure about the target raises EWriteError naming the target (not the temporary
// file: that is no name the user chose) with the system's code and text.
inline constexpr char kTemporaryFilePrefix[] = ".marivane-";
inline constexpr char kTemporaryFileSuffix[] = ".tmp";

// The steps of a replacement where a test can make it fail.
enum class TReplacementStep { None, Create, Write, Flush, Rename };

// Where a test has a replacement fail: at `step`, with the system error `code` (an errno value
// on POSIX, a Win32 error code on Windows), as the system would have failed it there. The
// steps before it are done for real, so from Write on the temporary file exists when the
// failure comes. The default fails nowhere, as every replacement of the programs does.
struct TReplacementFault {
  TReplacementStep step = TReplacementStep::None;
  std::uint32_t code = 0;
  // The code for `at`, 0 when the fault lies elsewhere; each implementation asks before it
  // does the step.
  std::uint32_t At(TReplacementStep at) const {
    return at != TReplacementStep::None && at == step ? code : 0;
  }
};

class TFileReplacement {
 public:
  // Refuses a target that exists and is a pipe, a device or a socket, or a file we may not
  // write (replacing it through its folder would get round its protection).
  explicit TFileReplacement(const std::string& target, TReplacementFault fault = {});
  ~TFileReplacement();
  TFileReplacement(const TFileReplacement&) = delete;
  TFileReplacement& operator=(const TFileReplacement&) = delete;

  const std::string& TemporaryPath() const;
  // Appends to the temporary file.
  void Write(std::span<const std::uint8_t> bytes);
  // Closes the temporary file, so that a writer that opens it by its path (the imaging
  // library) can fill it; Commit opens it again to flush it.
  void Close();
  // Flushes the temporary file, renames it over the target and flushes the folder's entry.
  void Commit();

 private:
  struct TOpenFile;  // the platform's own: the temporary file's name and handle
  std::string target_;
  TReplacementFault fault_;
  std::unique_ptr<TOpenFile> file_;
};

// `bytes` as the new content of `target`, whole or not at all. Raises EWriteError.
void WriteFileAtomically(const std::string& target, std::span<const std::uint8_t> bytes);
// A byte copy of `source` as the new content of `target`, whole or not at all. Raises
// EFOpenError or EReadError for the source (opened as OpenFileForReading does), EWriteError
// for the target.
void CopyFileAtomically(const std::string& source, const std::string& target,
                        TReplacementFault fault = {});

}  // namespace marivane::platform
