// What a module says about itself, read through the one resource reader: the boot screen a
// language file carries (RCDATA 1), its MUI configuration ("MUI" 1) and its version (VERSION
// 1). The same reading serves a language file (winload.exe.mui, ours or anyone's) and the
// boot loader it belongs to (winload.exe), which pairs with it by these facts.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "module/mui_config.h"
#include "module/resource_reader.h"
#include "module/version_info.h"

namespace marivane::module {

struct TBootScreenResource {
  std::uint16_t language = 0;
  std::uint32_t code_page = 0;
  TResourceLocation location;
  TBytes data;  // the WIM, as the data entry's size delimits it
  // Laid out as our own files are (template_layout.h): its data entry at kSlotDataEntryOffset,
  // so its size field at kSlotSizeFieldOffset, and its data at kSlotOffset, the start of a slot
  // of kSlotSize bytes. Files from elsewhere, Vista's own language file among them, lay it out
  // otherwise.
  bool in_slot = false;
};

// Each of the three is absent when the module does not hold it. One that is there but cannot
// be used leaves its value empty and says why in its problem: it is there in more than one
// language ("the module holds RCDATA 1 in 2 languages; a language file has it once"), or its
// reader refuses it.
struct TModuleFacts {
  std::uint16_t machine = 0;  // COFF Machine: 0x14C for x86
  std::optional<TBootScreenResource> boot_screen;
  std::string boot_screen_problem;
  std::optional<TMuiConfig> mui_config;
  std::string mui_config_problem;
  std::optional<TFixedVersion> version;
  std::string version_problem;
};

// RCDATA 1 of a module read by ReadModule: nothing when it has none. Raises EModuleError when
// it holds RCDATA 1 in more than one language: a language file has one boot screen, and with
// two there would be no telling which one the loader takes.
std::optional<TBootScreenResource> FindBootScreen(const TReadModule& module);

// Reads `file` as ReadModule does, raising its EModuleError for a module it refuses; what is
// wrong inside the three resources lands in the facts instead.
TModuleFacts ReadModuleFacts(std::span<const std::uint8_t> file, TModuleKind kind);

// What is wrong with the size field of a boot screen laid out in our slot, given the length
// its content (the WIM) says it has, when that is known: a size larger than the slot, or one
// that differs from the content's. Nothing when the size is right or the boot screen is not
// laid out in our slot, where no field at 828 is ours to judge.
std::optional<std::string> SlotSizeProblem(const TBootScreenResource& boot_screen,
                                           std::optional<std::uint64_t> content_length);

}  // namespace marivane::module
