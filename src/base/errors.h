// The error kinds that reading, copying and the system can raise, each carrying the text the
// user sees, and the rules that compose those texts. The system's own text for an error code
// is the platform's to give (platform::SystemErrorText); it is handed in here as it comes.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace marivane {

// Base of every error the program raises on purpose; what() is the user's text.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// Unlisted picture extension, or content that is not a valid picture of its kind.
class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
};

// A file that cannot be opened for reading; code() is the system's error code.
class EFOpenError : public Exception {
 public:
  EFOpenError(const std::string& message, std::uint32_t code) : Exception(message), code_(code) {}
  std::uint32_t code() const { return code_; }

 private:
  std::uint32_t code_;
};

// A file that ends inside a part that must be read whole.
class EReadError : public Exception {
 public:
  EReadError() : Exception("Stream read error") {}
};

// A file that cannot be created or truncated for writing.
class EFCreateError : public Exception {
 public:
  using Exception::Exception;
};

// A write that stopped before all the bytes were written, or a written file that could not be
// flushed or put in place. what() is the runtime's text, all the window shows; path() and
// reason() say which file and why, for a front end with room to say so.
class EWriteError : public Exception {
 public:
  EWriteError() : Exception("Stream write error") {}
  // `system_text` as the system gives it; `code` 0 when the refusal is ours, not the system's.
  EWriteError(const std::string& path, std::uint32_t code, const std::string& system_text);
  const std::string& path() const { return path_; }
  std::uint32_t code() const { return code_; }
  // The system's text, without its trailing stops and line break.
  const std::string& reason() const { return reason_; }

 private:
  std::string path_;
  std::uint32_t code_ = 0;
  std::string reason_;
};

// The platform refused something and reported an error code. platform::OSError(code) makes one
// with the system's text for the code.
class EOSError : public Exception {
 public:
  EOSError(std::uint32_t code, const std::string& system_text);
  std::uint32_t code() const { return code_; }

 private:
  std::uint32_t code_;
};

// Memory ran out while a file was being put together in memory.
class EOutOfMemory : public Exception {
 public:
  EOutOfMemory() : Exception("Out of memory while expanding memory stream") {}
};

// Each `system_text` below is the system's text for the error code as the system gives it; the
// trailing spaces, line breaks and full stops it puts after the text are left out.

// "System Error.  Code: 5.\r\nAccess is denied" — the text of an EOSError.
std::string OSErrorMessage(std::uint32_t code, const std::string& system_text);

// "Cannot open file \"C:\x.bmp\". The system cannot find the file specified"
std::string CannotOpenFileMessage(const std::string& path, const std::string& system_text);

// "Cannot create file \"C:\x.mui\". Access is denied"
std::string CannotCreateFileMessage(const std::string& path, const std::string& system_text);

// "Unable to write C:\x.mui: There is not enough space on the disk"
std::string UnableToWriteMessage(const std::string& path, const std::string& system_text);

// The image checksum's texts, the same from the system's imagehlp.dll and from our own rule.
// A module that is not there: "Cannot open file \"C:\x.mui\"", without the system's text.
std::string CannotOpenModuleMessage(const std::string& path);
// A file that holds no PE image.
inline constexpr const char* kNotPeFormatText = "This is not a PE format";
// A call into the system that failed without an error code to say why.
inline constexpr const char* kOSFunctionFailedText = "A call to an OS function failed";
// "Library not found: imagehlp.dll"
std::string LibraryNotFoundMessage(const std::string& library);
// "Function not found: imagehlp.dll.MapAndLoad"
std::string FunctionNotFoundMessage(const std::string& library, const std::string& function);

// Why a pipe, a device or a socket is neither read nor replaced: a read could wait for ever
// for a writer, and the system's own device would be taken away.
inline constexpr const char* kNotRegularFileText =
    "It is a pipe, a device or a socket, not a regular file";
// Why a file of 4 GiB or more is not read whole by the 32-bit build, which has no room for it.
inline constexpr const char* kTooLargeToReadText = "It is too large to be read into memory whole";

// The text of the error box that the application's default handler shows: the message, with a
// full stop appended when its last character sorts after "." (so none after "." "!" or ")").
std::string DefaultHandlerText(const std::string& message);

}  // namespace marivane
