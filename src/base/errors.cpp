#include "base/errors.h"

namespace marivane {
namespace {

std::string WithoutTrailingStops(std::string text) {
  while (!text.empty()) {
    const unsigned char last = static_cast<unsigned char>(text.back());
    if (last > ' ' && last != '.') break;
    text.pop_back();
  }
  return text;
}

}  // namespace

std::string OSErrorMessage(std::uint32_t code, const std::string& system_text) {
  return "System Error.  Code: " + std::to_string(code) + ".\r\n" +
         WithoutTrailingStops(system_text);
}

EOSError::EOSError(std::uint32_t code, const std::string& system_text)
    : Exception(OSErrorMessage(code, system_text)), code_(code) {}

std::string CannotOpenFileMessage(const std::string& path, const std::string& system_text) {
  return "Cannot open file \"" + path + "\". " + WithoutTrailingStops(system_text);
}

std::string CannotCreateFileMessage(const std::string& path, const std::string& system_text) {
  return "Cannot create file \"" + path + "\". " + WithoutTrailingStops(system_text);
}

EWriteError::EWriteError(const std::string& path, std::uint32_t code,
                         const std::string& system_text)
    : Exception("Stream write error"),
      path_(path),
      code_(code),
      reason_(WithoutTrailingStops(system_text)) {}

std::string UnableToWriteMessage(const std::string& path, const std::string& system_text) {
  return "Unable to write " + path + ": " + WithoutTrailingStops(system_text);
}

std::string CannotOpenModuleMessage(const std::string& path) {
  return "Cannot open file \"" + path + "\"";
}

std::string LibraryNotFoundMessage(const std::string& library) {
  return "Library not found: " + library;
}

std::string FunctionNotFoundMessage(const std::string& library, const std::string& function) {
  return "Function not found: " + library + "." + function;
}

std::string DefaultHandlerText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

}  // namespace marivane
