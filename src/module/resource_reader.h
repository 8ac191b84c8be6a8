// Reads the resources out of a resource-only PE32 module that came from outside: a language
// file such as a system's own winload.exe.mui. Every byte is untrusted; the reader never reads
// outside the file, visits each directory table once and stops at fixed caps, so a hostile
// tree ends in an EModuleError rather than a crash, a hang or a huge allocation.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "module/resource_module.h"

namespace marivane::module {

// What a file can do wrong; the text says what and, where it helps, at which offset.
class EModuleError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Tree order (types, then names, then languages, each as stored), names upper-cased as the
// loader compares them. The data is copied; the data entry's CodePage is kept.
// Refuses, with EModuleError: anything but a PE32 DLL image; a module with an entry point or a
// section holding code or marked executable; a module without resources; a directory table,
// entry, name or data that lies outside the file or outside every section; a subtable reached
// twice (a cycle or a shared table); a tree deeper or shallower than type/name/language; a name
// that is not printable ASCII; the same type/name/language twice; more than kMaxResourceEntries
// directory entries or kMaxResourceBytes of data in all.
std::vector<TResource> ReadResourceModule(std::span<const std::uint8_t> file);

// A language file holds a few dozen resources in some tens of kilobytes; these caps are far
// above any real one and keep a forged tree from costing more than a moment and 64 MiB.
constexpr std::size_t kMaxResourceEntries = 65536;
constexpr std::uint64_t kMaxResourceBytes = 64ull << 20;

}  // namespace marivane::module
