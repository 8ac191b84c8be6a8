// The process environment the builder reads, set for one test and put back afterwards.
#pragma once

#include <optional>
#include <string>

namespace marivane::test {

class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::optional<std::string>& value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

// Binds the imaging library for a test program: on Windows the stand-in beside the real
// programs in bin/, which a test program does not find on its own.
void BindImagingLibrary();

// bin/ of this build, where the programs, x86template and the stand-in library lie.
std::string BinFolder();

}  // namespace marivane::test
