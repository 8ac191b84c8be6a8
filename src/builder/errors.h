// The error kinds that reading, copying and the system can raise, each carrying the text the
// user sees, and the rules that turn a system error code into such a text.
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

// A write that stopped before all the bytes were written.
class EWriteError : public Exception {
 public:
  EWriteError() : Exception("Stream write error") {}
};

// The platform refused something and reported an error code.
class EOSError : public Exception {
 public:
  explicit EOSError(std::uint32_t code);
  std::uint32_t code() const { return code_; }

 private:
  std::uint32_t code_;
};

// The system's text for an error code, without the trailing spaces, line breaks and full
// stops that the system puts after it.
std::string SystemErrorTextStripped(std::uint32_t code);

// "System Error.  Code: 5.\r\nAccess is denied" — the text of an EOSError.
std::string OSErrorMessage(std::uint32_t code);

// "Cannot open file \"C:\x.bmp\". The system cannot find the file specified"
std::string CannotOpenFileMessage(const std::string& path, std::uint32_t code);

// "Cannot create file \"C:\x.mui\". Access is denied"
std::string CannotCreateFileMessage(const std::string& path, std::uint32_t code);

// The text of the error box that the application's default handler shows: the message, with a
// full stop appended when its last character sorts after "." (so none after "." "!" or ")").
std::string DefaultHandlerText(const std::string& message);

}  // namespace marivane
