#include "module/module_facts.h"

#include <gtest/gtest.h>

#include <ostream>

#include "module/boot_template.h"
#include "module/pairing.h"
#include "module/template_layout.h"
#include "module_test_support.h"

namespace marivane::module::test {
namespace {

std::string RefusalOf(void (*read)(const TBytes&), const TBytes& bytes) {
  try {
    read(bytes);
  } catch (const EModuleError& refused) {
    return refused.what();
  }
  return "(read without a word)";
}

// --- The checks the loader makes of a MUI configuration ---

// Microsoft's own language-neutral example, 0x148 bytes: the fallback language "en-US" lies
// at 0x138, the last block.
TMuiConfig NeutralConfig() {
  TMuiConfig config;
  config.file_type = kMuiFileTypeSystemLanguageNeutral;
  config.ultimate_fallback_location = 2;
  config.main_name_types = {"AVI", "FTR", "ORDERSTREAM", "TYPELIB", "UIFILE", "XML", "MUI"};
  config.main_id_types = {1, 2, 3, 12, 14, 16, 24};
  config.mui_name_types = {"MUI"};
  config.mui_id_types = {2, 3, 4, 5, 6, 9, 14, 16};
  config.ultimate_fallback_language = "en-US";
  return config;
}

struct ConfigFault {
  const char* name;
  void (*plant)(TBytes& config);
  const char* words;
};

const ConfigFault kConfigFaults[] = {
    {"ShorterThanItsHeader", [](TBytes& c) { c.resize(0x80); },
     "the MUI configuration is 0x80 bytes, too short for its 0x84-byte header"},
    {"Signature", [](TBytes& c) { PutU32(c, 0, 0x12345678); },
     "the MUI configuration's signature is 0x12345678, not 0xFECDFECD"},
    {"LengthPastTheResource", [](TBytes& c) { PutU32(c, 4, 0x150); },
     "the MUI configuration's length (0x150) differs from its resource's size (0x148)"},
    {"Version", [](TBytes& c) { PutU32(c, 8, 0x20000); },
     "the MUI configuration's version is 0x20000, not 0x10000"},
    {"BlockPastItsLength", [](TBytes& c) { PutU32(c, 0x80, 0x100); },
     "the MUI configuration's ultimate fallback language block (offset 0x138, 0x100 bytes) runs "
     "past its length (0x148)"},
    {"BlockWrappingAround", [](TBytes& c) { PutU32(c, 0x54, 0xFFFFFFF0); },
     "the MUI configuration's main name types block (offset 0xFFFFFFF0, 0x5C bytes) runs past "
     "its length (0x148)"},
    {"PathType", [](TBytes& c) { PutU32(c, 0x0C, 3); },
     "the MUI configuration's file path type 0x3 is not 0, 1, 2 or 4"},
    {"FileTypeStrayBit", [](TBytes& c) { PutU32(c, 0x10, 0x51); },
     "the MUI configuration's file type 0x51 has bits outside 0x33"},
    {"FileTypeNeutralAndSpecific", [](TBytes& c) { PutU32(c, 0x10, 0x13); },
     "the MUI configuration's file type 0x13 is not exactly one of language-neutral (0x1) and "
     "language-specific (0x2)"},
    {"FileTypeSystemAndApplication", [](TBytes& c) { PutU32(c, 0x10, 0x31); },
     "the MUI configuration's file type 0x31 is not exactly one of system (0x10) and "
     "application (0x20)"},
    {"NeutralFallbackLocation", [](TBytes& c) { PutU32(c, 0x18, 3); },
     "the MUI configuration's ultimate fallback location is 0x3, not 1 (internal) or 2 "
     "(external), as a language-neutral file's must be"},
    {"NeutralSystemAttributes", [](TBytes& c) { PutU32(c, 0x14, 0x101); },
     "the MUI configuration's system attributes are 0x101, not 0 or 0x100, as a "
     "language-neutral file's must be"},
    {"TextNotAscii", [](TBytes& c) { PutU16(c, 0x13A, 0xE9); },
     "the MUI configuration's ultimate fallback language block holds a character that is not "
     "printable ASCII (at 0x13A)"},
};

void PrintTo(const ConfigFault& fault, std::ostream* os) { *os << fault.name; }

class MuiConfigFault : public ::testing::TestWithParam<ConfigFault> {};

TEST_P(MuiConfigFault, IsRefusedWithItsWords) {
  TBytes config = BuildMuiConfig(NeutralConfig());
  ASSERT_EQ(config.size(), 0x148u);
  GetParam().plant(config);
  EXPECT_EQ(RefusalOf([](const TBytes& c) { ReadMuiConfig(c); }, config), GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(LoaderChecks, MuiConfigFault, ::testing::ValuesIn(kConfigFaults),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// The version reader's own refusals: a root that runs past its resource, one without the
// fixed file info's signature, a child that runs past its parent.
TEST(VersionInfo, RefusesWhatCannotBeAVersion) {
  const TBytes good = BuildVersionInfo(TVersionInfo{});
  const struct {
    std::size_t at;
    std::uint16_t value;
    const char* words;
  } faults[] = {
      {0, 0x1000, "the version resource's length (0x1000) runs past its resource (0xDC bytes)"},
      {40, 0, "the version resource has no VS_FIXEDFILEINFO with its signature (0xFEEF04BD)"},
      {92, 0x200, "the version resource's node at 0x5C (512 bytes) does not fit in its parent"},
  };
  for (const auto& fault : faults) {
    TBytes bytes = good;
    PutU16(bytes, fault.at, fault.value);
    EXPECT_EQ(RefusalOf([](const TBytes& v) { ReadVersionInfo(v); }, bytes), fault.words);
  }
}

// --- Reading back what we build ---

// The boot screen of our own file lies in the slot, its configuration and version come back
// as the template writer made them, and the size field at 828 is judged against the WIM.
TEST(ModuleFacts, ReadBackFromABuiltModuleAndItsSizeFieldJudged) {
  const TBytes wim = RandomBytes(5000, 11);
  TBytes built = Splice(BuildBootTemplate().template_bytes, wim);
  const TModuleFacts facts = ReadModuleFacts(built, TModuleKind::kResourceOnly);
  ASSERT_TRUE(facts.boot_screen);
  const TBootScreenResource& boot_screen = *facts.boot_screen;
  EXPECT_TRUE(boot_screen.in_slot);
  EXPECT_EQ(boot_screen.location.data_entry_offset, kSlotDataEntryOffset);
  EXPECT_EQ(boot_screen.location.data_offset, kSlotOffset);
  EXPECT_EQ(boot_screen.data, wim);
  ASSERT_TRUE(facts.mui_config) << facts.mui_config_problem;
  EXPECT_EQ(facts.mui_config->language, "en-US");
  EXPECT_EQ(facts.mui_config->file_type, kMuiFileTypeSystemLanguageSpecific);
  ASSERT_TRUE(facts.version) << facts.version_problem;
  EXPECT_EQ(facts.version->translation, (TFixedVersion::TTranslation{0x0409, 1200}));

  EXPECT_EQ(SlotSizeProblem(boot_screen, 5000), std::nullopt);
  EXPECT_EQ(SlotSizeProblem(boot_screen, 4999),
            "the boot screen's size field at 828 says 5000 bytes, but the WIM in it is 4999 "
            "bytes long");
  // A size past the slot still lies inside the section, over the resources after the slot.
  PutU32(built, kSlotSizeFieldOffset, kSlotSize + 4);
  const TModuleFacts overlong = ReadModuleFacts(built, TModuleKind::kResourceOnly);
  EXPECT_EQ(SlotSizeProblem(*overlong.boot_screen, std::nullopt),
            "the boot screen's size field at 828 says 3799412 bytes, more than its slot of "
            "3799408 holds");
}

// --- Pairing ---

TModuleFacts LanguageFileFacts() {
  TModuleFacts facts;
  facts.mui_config.emplace();
  facts.mui_config->language = "en-US";
  for (std::uint8_t i = 0; i < 16; ++i) {
    facts.mui_config->service_checksum[i] = i;
    facts.mui_config->checksum[i] = static_cast<std::uint8_t>(0xF0 | i);
  }
  facts.version = TFixedVersion{{6, 0, 6000, 16386}, {6, 0, 6000, 16386}, std::nullopt};
  return facts;
}

TModuleFacts LoaderFacts() {
  TModuleFacts facts = LanguageFileFacts();
  facts.mui_config->file_type = kMuiFileTypeSystemLanguageNeutral;
  facts.mui_config->language.clear();
  facts.mui_config->ultimate_fallback_language = "en-US";
  return facts;
}

struct PairingCase {
  const char* name;
  void (*change)(TModuleFacts& file, std::string& folder, TModuleFacts& loader);
  TPairing pairing;
  std::vector<std::string> reasons;
};

const PairingCase kPairingCases[] = {
    {"Equal", [](TModuleFacts&, std::string&, TModuleFacts&) {}, TPairing::kPairs, {}},
    {"MainChecksumDiffers",
     [](TModuleFacts&, std::string&, TModuleFacts& loader) { loader.mui_config->checksum[15] = 0; },
     TPairing::kDoesNotPair,
     {"its main checksum (at 0x2C) is F0F1F2F3F4F5F6F7F8F9FAFBFCFDFEFF, winload.exe's is "
      "F0F1F2F3F4F5F6F7F8F9FAFBFCFDFE00"}},
    {"ServiceChecksumDiffers",
     [](TModuleFacts& file, std::string&, TModuleFacts&) {
       file.mui_config->service_checksum[0] = 0xAA;
     },
     TPairing::kDoesNotPair,
     {"its service checksum (at 0x1C) is AA0102030405060708090A0B0C0D0E0F, winload.exe's is "
      "000102030405060708090A0B0C0D0E0F"}},
    {"VersionDiffers",
     [](TModuleFacts&, std::string&, TModuleFacts& loader) {
       loader.version->file_version = {6, 0, 6001, 18000};
     },
     TPairing::kDoesNotPair,
     {"its file version is 6.0.6000.16386, winload.exe's is 6.0.6001.18000"}},
    {"LanguageDiffersFromFolder",
     [](TModuleFacts&, std::string& folder, TModuleFacts&) { folder = "de-DE"; },
     TPairing::kDoesNotPair,
     {"its language is en-US, but its folder is named \"de-DE\""}},
    {"WinloadWithoutConfiguration",
     [](TModuleFacts&, std::string&, TModuleFacts& loader) { loader.mui_config.reset(); },
     TPairing::kCannotTell,
     {"winload.exe has no MUI configuration, so the checksums cannot be compared"}},
    // What can be compared and fails outweighs what cannot be compared.
    {"WinloadWithoutConfigurationAndAnotherVersion",
     [](TModuleFacts&, std::string&, TModuleFacts& loader) {
       loader.mui_config.reset();
       loader.version->file_version = {6, 0, 6001, 18000};
     },
     TPairing::kDoesNotPair,
     {"its file version is 6.0.6000.16386, winload.exe's is 6.0.6001.18000"}},
};

void PrintTo(const PairingCase& c, std::ostream* os) { *os << c.name; }

class Pairing : public ::testing::TestWithParam<PairingCase> {};

TEST_P(Pairing, GivesItsVerdictWithItsReasons) {
  TModuleFacts file = LanguageFileFacts();
  TModuleFacts loader = LoaderFacts();
  std::string folder = "EN-us";  // the loader compares the language case-insensitively
  GetParam().change(file, folder, loader);
  const TPairingVerdict verdict = JudgePairing(file, folder, loader);
  EXPECT_EQ(verdict.pairing, GetParam().pairing);
  EXPECT_EQ(verdict.reasons, GetParam().reasons);
}

INSTANTIATE_TEST_SUITE_P(Verdicts, Pairing, ::testing::ValuesIn(kPairingCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// The test writer's boot loader and its language file, as another test plants them in a
// Windows folder: pefile takes the boot loader for a program image, the resource-only reading
// refuses it, the program reading finds its configuration, and the two pair.
TEST(BootLoaderPair, FromTheTestWriterPairsAndIsReadAsAProgram) {
  if (!HavePefile()) GTEST_SKIP() << "the test writer and pefile run in the native build";
  const ScratchDir dir;
  const ScriptResult made = RunScript("boot_loader_pair.py", {dir.path().string()});
  ASSERT_EQ(made.status, 0) << made.output;
  const TBytes loader_bytes = marivane::test::ReadFileBytes(dir.PathOf("winload.exe"));
  EXPECT_EQ(
      RefusalOf([](const TBytes& f) { ReadModule(f, TModuleKind::kResourceOnly); }, loader_bytes),
      "not a DLL image (COFF characteristics 0x102)");
  const TModuleFacts loader = ReadModuleFacts(loader_bytes, TModuleKind::kImageWithCode);
  ASSERT_TRUE(loader.mui_config) << loader.mui_config_problem;
  EXPECT_EQ(loader.mui_config->file_type, kMuiFileTypeSystemLanguageNeutral);
  const TModuleFacts file =
      ReadModuleFacts(marivane::test::ReadFileBytes(dir.PathOf("en-US/winload.exe.mui")),
                      TModuleKind::kResourceOnly);
  ASSERT_TRUE(file.boot_screen);
  EXPECT_FALSE(file.boot_screen->in_slot);
  EXPECT_EQ(SlotSizeProblem(*file.boot_screen, 1), std::nullopt);
  const TPairingVerdict verdict = JudgePairing(file, "en-US", loader);
  EXPECT_EQ(verdict.pairing, TPairing::kPairs) << testing::PrintToString(verdict.reasons);
}

}  // namespace
}  // namespace marivane::module::test
