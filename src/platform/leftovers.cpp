// The names of what a run leaves for a while, the leftovers it holds for an interrupt to
// remove, and the removal of those a later run finds abandoned.
#include "platform/leftovers.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace marivane::platform {
namespace {

struct THeldLeftover {
  std::string path;
  TLeftoverKind kind;
};

struct TLeftoverRegistry {
  std::mutex mutex;
  std::vector<THeldLeftover> held;
};

// Never destroyed: an interrupt may come while the program's statics are being torn down.
TLeftoverRegistry& Registry() {
  static auto* registry = new TLeftoverRegistry;
  return *registry;
}

// Digits of `base` from `at` up to a '-', which is passed over; false for none, for more than
// fit 64 bits, or for anything else in the way.
bool ReadNumber(const std::string& text, std::size_t& at, unsigned base,
                unsigned long long& value) {
  const std::size_t from = at;
  value = 0;
  for (; at < text.size() && at - from < 16; ++at) {
    const char c = text[at];
    const int digit = c >= '0' && c <= '9'                ? c - '0'
                      : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                          : -1;
    if (digit < 0) break;
    value = value * base + static_cast<unsigned>(digit);
  }
  return at > from && at < text.size() && text[at++] == '-';
}

// Whether `name` is `prefix`, "<id>-<start>-" as RunStamp writes it, one or more letters and
// digits and `suffix`; the stamp it carries.
bool ParseLeftoverName(const std::string& name, const std::string& prefix,
                       const std::string& suffix, TProcessStamp& stamp) {
  if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
    return false;
  const std::string middle =
      name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
  std::size_t at = 0;
  if (!ReadNumber(middle, at, 10, stamp.id) || !ReadNumber(middle, at, 16, stamp.start) ||
      at == middle.size())
    return false;
  return std::all_of(middle.begin() + static_cast<std::ptrdiff_t>(at), middle.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  });
}

}  // namespace

std::string RunStamp() {
  const TProcessStamp self = CurrentProcessStamp();
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "%llu-%llx-", self.id, self.start);
  return stamp;
}

std::string MakeHeldLeftover(TLeftoverKind kind, const std::function<std::string()>& make) {
  TLeftoverRegistry& registry = Registry();
  const std::lock_guard<std::mutex> lock(registry.mutex);
  std::string path = make();
  if (!path.empty()) registry.held.push_back({path, kind});
  return path;
}

void ReleaseLeftover(const std::string& path) {
  TLeftoverRegistry& registry = Registry();
  const std::lock_guard<std::mutex> lock(registry.mutex);
  std::erase_if(registry.held, [&](const THeldLeftover& held) { return held.path == path; });
}

void RemoveHeldLeftoversForGood() {
  TLeftoverRegistry& registry = Registry();
  registry.mutex.lock();  // never unlocked: the program ends now
  for (const THeldLeftover& held : registry.held) RemoveLeftover(held.path, held.kind);
}

void RemoveAbandonedLeftovers(const std::string& folder, const std::string& prefix,
                              const std::string& suffix, TLeftoverKind kind) {
  // A system that does not say when a process started cannot prove any of them abandoned.
  if (CurrentProcessStamp().start == 0) return;
  for (const std::string& name : FolderEntryNames(folder)) {
    TProcessStamp stamp;
    if (!ParseLeftoverName(name, prefix, suffix, stamp) || stamp.start == 0 ||
        !ProcessHasEnded(stamp))
      continue;
    const std::string path = folder + name;
    if (IsOwnLeftover(path, kind)) RemoveLeftover(path, kind);
  }
}

}  // namespace marivane::platform
