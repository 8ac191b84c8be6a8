#include "support/environment.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/platform.h"
#include "platform/wimgapi.h"

namespace marivane::test {
namespace {

std::optional<std::string> Get(const char* name) {
#ifdef _WIN32
  // The system's own block, which GetEnvironmentVariable reads, not the C library's copy.
  const DWORD length = GetEnvironmentVariableA(name, nullptr, 0);
  if (length == 0) return std::nullopt;
  std::string value(length, '\0');
  value.resize(GetEnvironmentVariableA(name, value.data(), length));
  return value;
#else
  const char* value = std::getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
#endif
}

void Set(const char* name, const std::optional<std::string>& value) {
#ifdef _WIN32
  SetEnvironmentVariableA(name, value ? value->c_str() : nullptr);
#else
  if (value) setenv(name, value->c_str(), 1);
  else unsetenv(name);
#endif
}

}  // namespace

ScopedEnvironment::ScopedEnvironment(const char* name, const std::optional<std::string>& value)
    : name_(name), saved_(Get(name)) {
  Set(name, value);
}

ScopedEnvironment::~ScopedEnvironment() { Set(name_.c_str(), saved_); }

std::string BinFolder() {
  // Test programs live in tests/, a sibling of bin/.
  const char sep = platform::kPathSeparator;
  return platform::ProgramFolder() + ".." + sep + "bin" + sep;
}

void BindImagingLibrary() {
#ifdef _WIN32
  SetDllDirectoryA(BinFolder().c_str());
#endif
  wimgapi::LoadWIMGAPI();
}

}  // namespace marivane::test
