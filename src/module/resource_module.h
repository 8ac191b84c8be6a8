// Writes resource-only PE32 modules laid out around the boot screen slot: one resource (the
// "slot resource", RCDATA 1 in x86template) whose data entry and data sit where
// template_layout.h fixes them, and any number of further resources whose data is placed
// after the slot. The module is written as a template: the slot's bytes are left out, while
// every header already describes the file as it is once the slot is spliced back in.
#pragma once

#include <compare>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/errors.h"
#include "base/little_endian.h"
#include "module/pe_format.h"

namespace marivane::module {

// A resource type or name: either a 16-bit number or a string. Strings are stored upper case,
// because Windows and Wine upper-case the name they look for and then compare exactly; a
// lower-case stored name would never be found.
class TResourceKey {
 public:
  TResourceKey() = default;
  // Implicit, so that numeric IDs read naturally: TResource{10, 1, 0x0409, ...}.
  TResourceKey(std::uint16_t id) : id_(id) {}  // NOLINT(google-explicit-constructor)

  // Printable ASCII only (0x20..0x7E), 1..255 characters; lower-case letters are upper-cased.
  // Anything else raises std::invalid_argument.
  static TResourceKey Named(std::string_view name);

  bool IsNamed() const { return !name_.empty(); }
  std::uint16_t id() const { return id_; }
  const std::u16string& name() const { return name_; }
  std::string ToString() const;  // 10 or "MUI", for messages

  friend bool operator==(const TResourceKey&, const TResourceKey&) = default;
  // Directory order: named entries before numeric ones, names by UTF-16 code unit (which, for
  // upper-cased ASCII, is the case-insensitive order the loader's binary search expects), IDs
  // ascending.
  friend std::strong_ordering operator<=>(const TResourceKey& a, const TResourceKey& b);

 private:
  std::uint16_t id_ = 0;
  std::u16string name_;
};

struct TResource {
  TResourceKey type;
  TResourceKey name;
  std::uint16_t language = 0;
  TBytes data;
  std::uint32_t code_page = 0;  // the data entry's CodePage; 0 as linkers write it
};

// Which resource owns the slot. Its placement is fixed by template_layout.h.
struct TSlotResource {
  TResourceKey type = kTypeRcdata;
  TResourceKey name = kResourceName;
  std::uint16_t language = 0x0409;
  std::uint32_t code_page = 0;
};

struct TModuleStamp {
  std::uint32_t time_date_stamp = 0;  // COFF header; fixed so that builds are byte-identical
  std::uint32_t image_base = 0x10000000;
};

// Where one resource ended up, in terms of the finished file.
struct TPlacedResource {
  TResourceKey type;
  TResourceKey name;
  std::uint16_t language = 0;
  std::uint32_t data_entry_offset = 0;  // file offset of its data entry (before the slot)
  std::uint32_t data_rva = 0;
  std::uint32_t data_offset = 0;  // file offset of its data in the finished file
  std::uint32_t size = 0;
};

struct TSlotModule {
  TBytes template_bytes;                   // what goes into x86template
  std::vector<TPlacedResource> resources;  // the slot resource first, then in the order given
  std::uint32_t directory_end = 0;         // file offset just past the last directory structure
  std::uint32_t finished_size = 0;         // template_bytes.size() + kSlotSize
  std::uint32_t section_virtual_size = 0;
  std::uint32_t size_of_image = 0;
};

// What a file can do wrong; the text says what and, where it helps, at which offset. A module
// that cannot be made from what a file carries is refused with it too.
class EModuleError : public Exception {
 public:
  using Exception::Exception;
};

// Thrown when the resource directory (tables, data entries and name strings) cannot be fitted
// between the start of the resource section and the slot, around the fixed data entry.
class EDirectoryOverflow : public Exception {
 public:
  EDirectoryOverflow(std::uint32_t needed, std::uint32_t available);
  // Bytes from the section start (file offset 512) that the directory would need, and the
  // bytes there are before the slot.
  std::uint32_t needed() const { return needed_; }
  std::uint32_t available() const { return available_; }

 private:
  std::uint32_t needed_;
  std::uint32_t available_;
};

// Lays out and writes the template. The slot resource's Size field is set to the whole slot,
// so that the template with an all-zero slot spliced in is itself a consistent module, and its
// CheckSum field holds that module's checksum; the builder overwrites both.
// Raises EDirectoryOverflow as above, EModuleError when the data would push the image past
// 2 GiB, and std::invalid_argument for a duplicate (type, name, language) or a resource
// clashing with the slot resource: the caller's fault, since a tree read from a file has none.
TSlotModule BuildSlotModule(const TSlotResource& slot, std::span<const TResource> after_slot,
                            const TModuleStamp& stamp);

}  // namespace marivane::module
