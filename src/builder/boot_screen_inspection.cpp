// The checks run in the order the boot loader depends on them: the module, its MUI
// configuration (without which Windows takes no language file), the boot screen resource, the
// size our own layout records for it, the WIM archive, its one bootable image, the two picture
// files and each picture as its slot would take it. A check that others stand on ends the
// inspection when it fails; the others go on, so that every problem that can be told is.
#include "builder/boot_screen_inspection.h"

#include <algorithm>
#include <memory>

#include "base/errors.h"
#include "base/hex_text.h"
#include "base/stream.h"
#include "builder/boot_screen_builder.h"
#include "builder/picture.h"
#include "imaging/wim_reader.h"
#include "module/template_layout.h"
#include "platform/platform.h"

namespace marivane {
namespace {

using imaging::EWimError;
using imaging::TWimArchive;
using imaging::TWimFile;

std::string Number(std::uint64_t value) { return std::to_string(value); }

// The name of the folder that holds `path`, for either kind of separator; empty for none.
std::string ParentFolderName(const std::string& path) {
  const std::size_t end = path.find_last_of("\\/");
  if (end == std::string::npos || end == 0) return "";
  const std::size_t start = path.find_last_of("\\/:", end - 1);
  return path.substr(start == std::string::npos ? 0 : start + 1,
                     end - (start == std::string::npos ? 0 : start + 1));
}

bool IsLetters(std::string_view part, std::size_t min, std::size_t max) {
  return part.size() >= min && part.size() <= max &&
         std::all_of(part.begin(), part.end(), [](char c) {
           return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
         });
}

// Whether a folder's name has the shape of Windows' language folders: a language of two or
// three letters, an optional script of four, and a region of two letters or three digits
// ("en-US", "sr-Latn-CS", "es-419"). A folder of another name ("Downloads", "temp") is not
// taken for one, however plain its name.
bool IsLanguageFolderName(const std::string& name) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t dash; (dash = name.find('-', start)) != std::string::npos; start = dash + 1)
    parts.emplace_back(name.data() + start, dash - start);
  parts.emplace_back(name.data() + start, name.size() - start);
  if (parts.size() < 2 || parts.size() > 3 || !IsLetters(parts.front(), 2, 3)) return false;
  if (parts.size() == 3 && !IsLetters(parts[1], 4, 4)) return false;
  const std::string_view region = parts.back();
  return IsLetters(region, 2, 2) ||
         (region.size() == 3 && std::all_of(region.begin(), region.end(),
                                            [](char c) { return c >= '0' && c <= '9'; }));
}

bool SameNameIgnoringCase(const std::u16string& name, std::string_view wanted) {
  const auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
  return std::equal(name.begin(), name.end(), wanted.begin(), wanted.end(),
                    [&](char16_t a, char b) { return fold(a) == fold(char16_t(b)); });
}

// Language names are ASCII and compared as the loader compares them, ignoring case.
bool SameLanguageName(std::string_view a, std::string_view b) {
  const auto fold = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char x, char y) { return fold(x) == fold(y); });
}

// A name from the archive as the user reads it: ASCII as it is, anything else as "?".
std::string NameText(const std::u16string& name) {
  std::string text;
  for (char16_t unit : name) text += unit >= 0x20 && unit < 0x7F ? char(unit) : '?';
  return text;
}

const char* CodecName(imaging::TWimCodec codec) {
  switch (codec) {
    case imaging::TWimCodec::kNone: return "uncompressed";
    case imaging::TWimCodec::kXpress: return "XPRESS-compressed";
    case imaging::TWimCodec::kLzx: return "LZX-compressed";
  }
  return "compressed";
}

// "an 800 x 600 24-bit bitmap", "a 1024 x 768 8-bit bitmap", "an empty bitmap"
std::string PictureText(const TPicture& picture) {
  if (picture.width() == 0 && picture.height() == 0) return "an empty bitmap";
  const std::string size = Number(picture.width()) + " x " + Number(picture.height());
  return (size[0] == '8' ? "an " : "a ") + size + " " + PixelFormatName(picture.pixel_format()) +
         " bitmap";
}

// Where the archive's last byte lies: past the header and every resource it names. Within
// our slot the size field must say this much, whatever filler follows.
std::uint64_t ArchiveEnd(const TWimArchive& archive) {
  std::uint64_t end = sizeof(imaging::wim::THeaderDisk);
  const auto reach = [&](const imaging::TResourceHeader& resource) {
    if (resource.stored_size != 0) end = std::max(end, resource.offset + resource.stored_size);
  };
  const imaging::TWimHeader& header = archive.Header();
  for (const auto* resource :
       {&header.blob_table, &header.xml_data, &header.boot_metadata, &header.integrity})
    reach(*resource);
  for (const imaging::TWimBlob& blob : archive.Blobs()) reach(blob.resource);
  return end;
}

struct TSlotPicture {
  const char* name;
  TSlot slot;
};
constexpr TSlotPicture kPictures[] = {{kSmallPictureName, TSlot::Small}, {kBigPictureName, TSlot::Big}};

class TInspector {
 public:
  TInspector(std::span<const std::uint8_t> file, const std::string& path) : file_(file), path_(path) {}

  TBootScreenInspection Run() {
    InspectModule();
    // Problems first, each in the order it was met; the facts after them.
    std::stable_partition(result_.findings.begin(), result_.findings.end(),
                          [](const TFinding& f) { return f.problem; });
    if (result_.FirstProblem() != nullptr) {
      result_.verdict = TBootScreenVerdict::Damaged;
    } else if (!has_boot_screen_) {
      result_.verdict = TBootScreenVerdict::NoBootScreen;
    } else {
      result_.verdict = TBootScreenVerdict::Good;
    }
    return std::move(result_);
  }

 private:
  void Problem(std::string words, std::string detail = "") {
    result_.findings.push_back({true, std::move(words), std::move(detail)});
  }
  void Fact(std::string words, std::string detail = "") {
    result_.findings.push_back({false, std::move(words), std::move(detail)});
  }

  void InspectModule();
  void InspectConfiguration(const module::TModuleFacts& facts);
  bool SlotSizeHolds(const module::TBootScreenResource& boot_screen);
  void InspectArchive(const module::TBootScreenResource& boot_screen);
  void InspectPictures(const TWimArchive& archive);

  std::span<const std::uint8_t> file_;
  const std::string& path_;
  TBootScreenInspection result_;
  bool has_boot_screen_ = false;
};

void TInspector::InspectModule() {
  try {
    result_.facts = module::ReadModuleFacts(file_, module::TModuleKind::kResourceOnly);
  } catch (const module::EModuleError& refused) {
    Problem("It is not a language file that Windows can read", refused.what());
    return;
  }
  module::TModuleFacts& facts = *result_.facts;
  InspectConfiguration(facts);
  if (!facts.version_problem.empty())
    Problem("Its version resource is damaged", facts.version_problem);

  if (!facts.boot_screen_problem.empty()) {
    Problem("It holds more than one boot screen", facts.boot_screen_problem);
    return;
  }
  if (!facts.boot_screen) {
    Fact("It holds no boot screen", "no RCDATA resource named 1");
    return;
  }
  has_boot_screen_ = true;
  const module::TBootScreenResource& boot_screen = *facts.boot_screen;
  if (SlotSizeHolds(boot_screen)) InspectArchive(boot_screen);
  // The archive was read where it lies in the file; the copy goes with the inspection's end.
  facts.boot_screen->data = {};
}

void TInspector::InspectConfiguration(const module::TModuleFacts& facts) {
  const std::string own_folder = ParentFolderName(path_);
  result_.in_language_folder = IsLanguageFolderName(own_folder);
  if (result_.in_language_folder) result_.folder = own_folder;

  if (!facts.mui_config) {
    if (facts.mui_config_problem.empty())
      Problem("It has no MUI configuration, without which Windows takes no language file",
              "no resource MUI 1");
    else
      Problem("Its MUI configuration is damaged", facts.mui_config_problem);
    return;
  }
  const module::TMuiConfig& config = *facts.mui_config;
  if (!(config.file_type & module::kMuiFileTypeLanguageSpecific)) {
    Problem("Its MUI configuration is not a language file's",
            "its file type is " + HexNumber(config.file_type) + ", not language-specific (0x2)");
    return;
  }
  if (config.language.empty()) {
    Problem("Its MUI configuration names no language");
    return;
  }
  if (!result_.in_language_folder) {
    result_.folder = config.language;
    Fact("Its language is " + config.language + ": it goes into the folder System32\\" +
         config.language);
  } else if (!SameLanguageName(config.language, result_.folder)) {
    Fact("Its language is " + config.language + ", but it lies in the folder " + result_.folder +
         ": Windows takes it only from a folder named " + config.language);
  } else {
    Fact("Its language is " + config.language + ", the name of the folder it lies in");
  }
}

// Our own files record the archive's length in the slot's size field; the boot loader reads
// exactly that many bytes. A size past the slot, or one that cuts the archive short or leaves
// filler in it, is the first thing wrong, whatever reading the archive would say after it.
bool TInspector::SlotSizeHolds(const module::TBootScreenResource& boot_screen) {
  if (!boot_screen.in_slot) return true;
  std::optional<std::string> wrong = module::SlotSizeProblem(boot_screen, std::nullopt);
  if (!wrong) {
    // The whole slot, as far as the file holds it: an archive whose size field cuts it short
    // is read whole here, to find where it really ends.
    const std::uint64_t slot_end = std::min<std::uint64_t>(
        file_.size(), std::uint64_t{module::kSlotOffset} + module::kSlotSize);
    try {
      const TWimArchive whole(file_.subspan(module::kSlotOffset, slot_end - module::kSlotOffset));
      wrong = module::SlotSizeProblem(boot_screen, ArchiveEnd(whole));
    } catch (const EWimError&) {
      // Not an archive even with the whole slot: reading the recorded size says what is wrong.
    }
  }
  if (!wrong) return true;
  Problem("The size recorded for its boot screen is wrong", *wrong);
  return false;
}

void TInspector::InspectArchive(const module::TBootScreenResource& boot_screen) {
  const std::span<const std::uint8_t> wim = boot_screen.data;
  std::optional<TWimArchive> archive;
  try {
    archive.emplace(wim);
  } catch (const EWimError& refused) {
    Problem(refused.problem(), refused.detail());
    return;
  }
  const std::string where =
      boot_screen.in_slot ? "in the slot of Marivane's own files, " + Number(wim.size()) + " of its " +
                                Number(module::kSlotSize) + " bytes"
                          : "RCDATA 1 at " + HexNumber(boot_screen.location.data_offset) + ", " +
                                Number(wim.size()) + " bytes";
  Fact("Its boot screen is a WIM archive of " + Number(wim.size()) + " bytes, " +
           CodecName(archive->Header().codec),
       where);

  const std::size_t images = archive->Images().size();
  if (images != 1) {
    Problem("The archive holds " + Number(images) + " images; a boot screen's holds one",
            "its header counts " + Number(archive->Header().image_count) + " images");
    return;
  }
  if (archive->Header().boot_index != 1) {
    Problem("The archive's image is not marked bootable",
            "its boot index is " + Number(archive->Header().boot_index) + ", not 1");
    return;
  }
  InspectPictures(*archive);
}

void TInspector::InspectPictures(const TWimArchive& archive) {
  const TWimFile& root = archive.Images()[0].root;
  const TWimFile* found[2] = {nullptr, nullptr};
  for (const TWimFile& entry : root.children) {
    bool known = false;
    for (std::size_t i = 0; i < 2; ++i) {
      if (!SameNameIgnoringCase(entry.name, kPictures[i].name)) continue;
      known = true;
      found[i] = &entry;
    }
    if (!known) {
      Problem("The archive holds " + NameText(entry.name) + " besides the two pictures",
              std::string(entry.is_directory ? "a folder" : "a file") +
                  " in its root folder, entry at " + HexNumber(entry.entry_offset) +
                  " of the list of files");
      return;
    }
  }
  for (std::size_t i = 0; i < 2; ++i) {
    if (found[i] == nullptr) {
      Problem(std::string("The archive has no ") + kPictures[i].name,
              "its root folder holds " + Number(root.children.size()) + " entries");
      return;
    }
    if (found[i]->is_directory) {
      Problem(std::string("The archive's ") + kPictures[i].name + " is a folder, not a picture");
      return;
    }
  }

  std::vector<std::uint8_t> bytes[2];
  for (std::size_t i = 0; i < 2; ++i) {
    try {
      bytes[i] = archive.ReadFile(*found[i]);
    } catch (const EWimError& refused) {
      Problem(refused.problem(), refused.detail());
      return;
    }
  }
  for (std::size_t i = 0; i < 2; ++i) {
    const TSlotPicture& wanted = kPictures[i];
    // Decoded as the slot decodes a bitmap chosen for it.
    TPicture picture;
    try {
      TMemoryStream stream(bytes[i]);
      picture = ReadPicture(TPictureKind::Bitmap, stream);
    } catch (const Exception& refused) {
      Problem(std::string(wanted.name) + " is not a bitmap that Windows can show",
              DefaultHandlerText(refused.what()));
      continue;
    }
    if (!FitsSlot(picture, wanted.slot)) {
      const TSize size = SlotSize(wanted.slot);
      TPicture expected =
          TPicture::FromBitmap({size.width, size.height, TPixelFormat::Bit24, nullptr});
      Problem(std::string(wanted.name) + " is " + PictureText(picture) + ", not " +
              PictureText(expected));
      continue;
    }
    Fact(std::string(wanted.name) + ": " + PictureText(picture) + " of " +
         Number(bytes[i].size()) + " bytes");
  }
  result_.small_picture = std::move(bytes[0]);
  result_.big_picture = std::move(bytes[1]);
}

}  // namespace

const char* VerdictName(TBootScreenVerdict verdict) {
  switch (verdict) {
    case TBootScreenVerdict::Good: return "good";
    case TBootScreenVerdict::NoBootScreen: return "no boot screen";
    case TBootScreenVerdict::Damaged: return "damaged";
  }
  return "damaged";
}

const TFinding* TBootScreenInspection::FirstProblem() const {
  for (const TFinding& finding : findings)
    if (finding.problem) return &finding;
  return nullptr;
}

TBootScreenInspection InspectBootScreen(std::span<const std::uint8_t> file,
                                        const std::string& path) {
  return TInspector(file, path).Run();
}

void JudgePairingWithLoader(TBootScreenInspection& inspection,
                            std::span<const std::uint8_t> loader) {
  if (!inspection.facts) {
    inspection.pairing = module::TPairingVerdict{
        module::TPairing::kDoesNotPair, {"it is not a language file that Windows can read"}};
    return;
  }
  module::TModuleFacts loader_facts;
  try {
    loader_facts = module::ReadModuleFacts(loader, module::TModuleKind::kImageWithCode);
  } catch (const module::EModuleError& refused) {
    inspection.pairing = module::TPairingVerdict{
        module::TPairing::kCannotTell,
        {std::string("winload.exe cannot be read as a program: ") + refused.what()}};
    return;
  }
  inspection.pairing = module::JudgePairing(*inspection.facts, inspection.folder, loader_facts);
}

namespace {

// A whole file, or nothing when it is larger than kMaxInspectedFileBytes: its size is looked at
// before anything is read.
std::optional<std::vector<std::uint8_t>> ReadCapped(const std::string& path, std::uint64_t& size) {
  const std::unique_ptr<TStream> stream = platform::OpenFileForReading(path);
  size = stream->Size();
  if (size > kMaxInspectedFileBytes) return std::nullopt;
  return TStreamReader(*stream).ReadExact(static_cast<std::size_t>(size));
}

}  // namespace

TBootScreenInspection InspectBootScreenFile(const std::string& path) {
  std::uint64_t size = 0;
  const std::optional<std::vector<std::uint8_t>> file = ReadCapped(path, size);
  if (file) return InspectBootScreen(*file, path);
  TBootScreenInspection inspection;
  inspection.findings.push_back({true, "It is far larger than any language file",
                                 Number(size) + " bytes, more than the " +
                                     Number(kMaxInspectedFileBytes) + " read"});
  return inspection;
}

std::vector<std::uint8_t> ReadBootLoader(const std::string& path) {
  std::uint64_t size = 0;
  std::optional<std::vector<std::uint8_t>> loader = ReadCapped(path, size);
  if (!loader)
    throw Exception(path + " is " + Number(size) + " bytes long, far larger than a boot loader");
  return std::move(*loader);
}

}  // namespace marivane
