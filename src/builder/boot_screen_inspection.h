// Reading a boot screen file back: whether a winload.exe.mui (ours, Vista's own, one from
// anywhere) is a sound language file whose boot screen the boot loader can show, and, given the
// boot loader it is meant for, whether the two pair. The window and the command-line tool both
// come here, so that they judge every file alike and say it in the same words.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "module/module_facts.h"
#include "module/pairing.h"

namespace marivane {

enum class TBootScreenVerdict {
  Good,          // a sound language file whose boot screen the boot loader can show
  NoBootScreen,  // a sound language file without a boot screen (RCDATA 1)
  Damaged,       // anything else; the first problem among the findings says what
};

// "good", "no boot screen", "damaged"
const char* VerdictName(TBootScreenVerdict verdict);

// One thing the inspection found: a fact about the file, or something wrong with it.
struct TFinding {
  bool problem = false;
  // In a user's words, capitalised, without a closing full stop: "The data of
  // osload800x600.bmp is damaged", "Its language is en-US".
  std::string words;
  // The bytes concerned, where it helps: "chunk 3 of 73 at 0x6F2A: a match reaches back before
  // the chunk starts". Often empty for a fact.
  std::string detail;
};

// The picture files a boot screen's archive holds, and the slot each is shown in.
inline constexpr const char* kSmallPictureName = "osload800x600.bmp";
inline constexpr const char* kBigPictureName = "osload1024x768.bmp";

struct TBootScreenInspection {
  TBootScreenVerdict verdict = TBootScreenVerdict::Damaged;
  // Problems first, in the order the checks meet them (so the first is the first thing wrong),
  // then the facts.
  std::vector<TFinding> findings;
  // What the module says of itself, when it could be read as a module at all. Its boot
  // screen's data is not kept.
  std::optional<module::TModuleFacts> facts;
  // The language folder its language is compared with: the name of the folder the file lies
  // in when that is a language folder's name ("de-DE"), otherwise the folder it would have to
  // go into, its own language's; empty when neither is known.
  std::string folder;
  bool in_language_folder = false;
  // Both pictures, byte for byte as the archive holds them, whenever both were read whole and
  // matched their checksums, good or not; otherwise both empty.
  std::vector<std::uint8_t> small_picture;
  std::vector<std::uint8_t> big_picture;
  // With the boot loader given: whether the two pair. Never kPairs on less than every check.
  std::optional<module::TPairingVerdict> pairing;

  const TFinding* FirstProblem() const;
  bool HasPictures() const { return !small_picture.empty() && !big_picture.empty(); }
};

// Inspects the bytes of a language file found at `path`, which names the folder it lies in;
// nothing is read from the disk. Never raises for anything in the bytes: a file that is wrong
// in any way is Damaged, with what is wrong said.
TBootScreenInspection InspectBootScreen(std::span<const std::uint8_t> file, const std::string& path);

// Judges whether the inspected file pairs with the boot loader whose bytes `loader` holds
// (winload.exe), and puts the verdict in `inspection.pairing`.
void JudgePairingWithLoader(TBootScreenInspection& inspection,
                            std::span<const std::uint8_t> loader);

// The file at `path` read and inspected. A file far larger than any language file is Damaged
// unread. Raises EFOpenError or EReadError when it cannot be read.
TBootScreenInspection InspectBootScreenFile(const std::string& path);

// The boot loader at `path` (winload.exe), read whole for JudgePairingWithLoader. Raises
// EFOpenError or EReadError when it cannot be read, and Exception for a file far larger than
// any boot loader.
std::vector<std::uint8_t> ReadBootLoader(const std::string& path);

// Files larger than this are no language file: Vista's largest are some hundreds of kilobytes,
// ours 3.8 MB, and the module reader takes no more resource data than this.
inline constexpr std::uint64_t kMaxInspectedFileBytes = 64u << 20;

}  // namespace marivane
