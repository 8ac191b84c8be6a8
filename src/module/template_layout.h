// Where things sit in x86template and in the boot screen file made from it. The builder splices
// a WIM of W bytes into a fixed slot; the template's headers already describe the file as it
// will be after that splice, so the builder only patches the size field and the checksum.
#pragma once

#include <cstddef>
#include <cstdint>

#include "module/pe_format.h"

namespace marivane::module {

// e_lfanew. 176 leaves room for a 64-byte DOS header and a small stub in front of "PE\0\0".
constexpr std::uint32_t kPeHeaderOffset = 176;
// Optional header CheckSum, 88 bytes past the PE signature.
constexpr std::uint32_t kChecksumFieldOffset = kPeHeaderOffset + kChecksumFromPeHeader;
// DOS header, stub, PE headers and one section header, padded to one file-alignment unit.
constexpr std::uint32_t kHeadersSize = 0x200;
constexpr std::uint32_t kFileAlignment = 0x200;
constexpr std::uint32_t kSectionAlignment = 0x1000;
// The resource section, the module's only section, starts right after the headers.
constexpr std::uint32_t kResourceSectionRva = 0x1000;
constexpr std::uint32_t kResourceSectionFileOffset = kHeadersSize;

// The data entry of the boot screen resource (RCDATA 1); its Size field, at +4 (so at 828),
// is the one the builder overwrites with W.
constexpr std::uint32_t kSlotDataEntryOffset = 824;
constexpr std::uint32_t kSlotSizeFieldOffset =
    kSlotDataEntryOffset + offsetof(TResourceDataEntryDisk, size);
// The slot: the WIM goes here, followed by filler up to kSlotSize bytes. In the template itself
// this offset is where the bytes that follow the slot begin.
constexpr std::uint32_t kSlotOffset = 1108;
constexpr std::uint32_t kSlotSize = 3'799'408;

// The same places counted from the start of the resource section: the whole resource
// directory must fit in [0, kSlotSectionOffset) around the fixed data entry.
constexpr std::uint32_t kSlotDataEntrySectionOffset =
    kSlotDataEntryOffset - kResourceSectionFileOffset;
constexpr std::uint32_t kSlotSectionOffset = kSlotOffset - kResourceSectionFileOffset;

}  // namespace marivane::module
