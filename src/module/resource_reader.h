// Reads the resources out of a PE32 module that came from outside: a language file such as a
// system's own winload.exe.mui, a boot screen file from anywhere, or the boot loader image
// winload.exe itself. Every byte is untrusted; the reader never reads outside the file, visits
// each directory table once and stops at fixed caps, so a hostile tree ends in an EModuleError
// rather than a crash, a hang or a huge allocation.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "module/resource_module.h"

namespace marivane::module {

// Which modules a read accepts. Only the headers' demands differ; the resource tree is walked
// and checked the same way for both.
enum class TModuleKind {
  // A language file or a template: a DLL image with no entry point and no section that holds
  // code or is executable, and with resources.
  kResourceOnly,
  // A program image such as the boot loader, winload.exe: an executable image that may have an
  // entry point and code, and need not have resources at all.
  kImageWithCode,
};

// Where one resource lies in the file it was read from.
struct TResourceLocation {
  std::uint64_t data_entry_offset = 0;  // file offset of its 16-byte data entry
  std::uint32_t data_rva = 0;
  std::uint64_t data_offset = 0;  // file offset of its data, mapped through the section table
  std::uint32_t size = 0;         // the data entry's Size, at data_entry_offset + 4
};

struct TReadResource {
  TResource resource;
  TResourceLocation location;
};

struct TReadModule {
  std::uint16_t machine = 0;  // COFF Machine: 0x14C for x86
  std::vector<TReadResource> resources;
};

// Tree order (types, then names, then languages, each as stored), names upper-cased as the
// loader compares them. The data is copied; the data entry's CodePage is kept.
// Refuses, with EModuleError: anything but a PE32 executable image; for kResourceOnly, anything
// but a DLL, a module with an entry point or a section holding code or marked executable, and
// a module without resources; a directory table, entry, name or data that lies outside the
// file or outside every section; a subtable reached twice (a cycle or a shared table); a tree
// deeper or shallower than type/name/language; a name that is not printable ASCII; the same
// type/name/language twice; more than kMaxResourceEntries directory entries or
// kMaxResourceBytes of data in all.
TReadModule ReadModule(std::span<const std::uint8_t> file, TModuleKind kind);

// The resources of a resource-only module, without their locations.
std::vector<TResource> ReadResourceModule(std::span<const std::uint8_t> file);

// A language file holds a few dozen resources in some tens of kilobytes; these caps are far
// above any real one and keep a forged tree from costing more than a moment and 64 MiB.
constexpr std::size_t kMaxResourceEntries = 65536;
constexpr std::uint64_t kMaxResourceBytes = 64ull << 20;

}  // namespace marivane::module
