#include "builder/errors.h"

#include "platform/platform.h"

namespace marivane {

std::string SystemErrorTextStripped(std::uint32_t code) {
  std::string text = platform::SystemErrorText(code);
  while (!text.empty()) {
    const unsigned char last = static_cast<unsigned char>(text.back());
    if (last > ' ' && last != '.') break;
    text.pop_back();
  }
  return text;
}

std::string OSErrorMessage(std::uint32_t code) {
  return "System Error.  Code: " + std::to_string(code) + ".\r\n" + SystemErrorTextStripped(code);
}

EOSError::EOSError(std::uint32_t code) : Exception(OSErrorMessage(code)), code_(code) {}

std::string CannotOpenFileMessage(const std::string& path, std::uint32_t code) {
  return "Cannot open file \"" + path + "\". " + SystemErrorTextStripped(code);
}

std::string CannotCreateFileMessage(const std::string& path, std::uint32_t code) {
  return "Cannot create file \"" + path + "\". " + SystemErrorTextStripped(code);
}

std::string DefaultHandlerText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

}  // namespace marivane
