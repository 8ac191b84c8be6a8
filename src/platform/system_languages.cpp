#include "platform/system_languages.h"

namespace marivane::platform {

bool IsLanguageName(const std::string& name) {
  // "de-DE", "sr-Latn-CS": no dot, slash or colon can lead out of System32's own folders.
  if (name.empty() || name.size() > 32 || name.front() == '-' || name.back() == '-') return false;
  for (const char c : name) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!letter && !(c >= '0' && c <= '9') && c != '-') return false;
  }
  return true;
}

}  // namespace marivane::platform
