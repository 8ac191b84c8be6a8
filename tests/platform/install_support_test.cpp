// The portable pieces an install stands on: SHA-256, the choice of the boot language and the
// kept security's line in a record; and on Linux, a program run (Windows' side of it is in windows_system_test.cpp, under Wine).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <set>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/hex_text.h"
#include "base/sha256.h"
#include "platform/boot_configuration.h"
#include "platform/file_trust.h"
#include "platform/system_program.h"
#include "platform/windows_tree.h"

namespace marivane {
namespace {

using platform::TBootLanguageSource;
using platform::TBootValue;

std::span<const std::uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(Sha256, KnownAnswers) {
  std::string counting;
  for (int round = 0; round < 3; ++round)
    for (int byte = 0; byte < 256; ++byte) counting += static_cast<char>(byte);
  struct TCase {
    std::string message;
    const char* digest;
  };
  const TCase cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      // 55 bytes: the length still fits the block; 56: it takes a block of its own.
      {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlm"
       "nopqrsmnopqrstnopqrstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {counting, "f3a25aa93aa2fbba28d79260535bbd6a5eb0fc1c24a8b0f04e12b484c1dfe363"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.message.size());
    EXPECT_EQ(HexString(Sha256Of(Bytes(c.message))), c.digest);
    // The same in uneven pieces across the block boundaries, by a hash used once before.
    TSha256 hash;
    hash.Update(Bytes("used before"));
    hash.Finish();
    for (std::size_t at = 0; at < c.message.size();) {
      const std::size_t take = std::min<std::size_t>(at % 71 + 1, c.message.size() - at);
      hash.Update(Bytes(c.message).subspan(at, take));
      at += take;
    }
    EXPECT_EQ(HexString(hash.Finish()), c.digest);
  }
  const std::uint8_t tag[] = {0x0A, 0xBC, 0xFF};
  EXPECT_EQ(HexString(tag, THexCase::Upper), "0ABCFF");
}

TEST(BootLanguage, FirstCandidateWithALanguageFile) {
  struct TCase {
    const char* name;
    TBootValue locale_state;
    std::string locale;
    std::string install_language;
    std::set<std::string> with_files;
    std::string expected;
    TBootLanguageSource source;
    std::vector<std::string> passed_over;
  };
  const TCase cases[] = {
      {"the configuration's", TBootValue::Present, "de-DE", "fr-FR", {"de-DE", "fr-FR", "en-US"},
       "de-DE", TBootLanguageSource::BootConfiguration, {}},
      {"a partial language pack", TBootValue::Present, "fr-FR", "de-DE", {"de-DE"}, "de-DE",
       TBootLanguageSource::InstallLanguage, {"fr-FR"}},
      {"no locale element", TBootValue::Absent, "", "de-DE", {"de-DE", "en-US"}, "de-DE",
       TBootLanguageSource::InstallLanguage, {}},
      // Not elevated, or not Windows: the configuration cannot be read.
      {"unreadable", TBootValue::CannotRead, "ja-JP", "", {"ja-JP", "en-US"}, "en-US",
       TBootLanguageSource::Default, {}},
      // The text becomes part of a path: never asked about, never chosen.
      {"not a language name", TBootValue::Present, "..\\..\\drivers", "", {"..\\..\\drivers", "en-US"},
       "en-US", TBootLanguageSource::Default, {"..\\..\\drivers"}},
      {"no file at all", TBootValue::Present, "de-DE", "de-DE", {}, "", TBootLanguageSource::None,
       {"de-DE", "de-DE", "en-US"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    platform::TBootConfiguration read;
    read.locale_state = c.locale_state;
    read.locale = c.locale;
    std::vector<std::string> asked;
    const platform::TBootLanguage chosen =
        ChooseBootLanguage(read, c.install_language, [&](const std::string& language) {
          asked.push_back(language);
          return c.with_files.count(language) > 0;
        });
    EXPECT_EQ(chosen.language, c.expected);
    EXPECT_EQ(chosen.source, c.source);
    EXPECT_EQ(chosen.passed_over, c.passed_over);
    EXPECT_THAT(asked, ::testing::Not(::testing::Contains("..\\..\\drivers")));
  }
}

// A backup is trusted only where nobody but the system and administrators can have changed it.
TEST(FileTrust, WhoElseCanChange) {
  const std::string ti = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
  const std::string user = "S-1-5-21-1004336348-1177238915-682003330-1000";
  const std::string ours = "D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
  struct TCase {
    std::string sddl;
    std::string who;
  };
  const TCase cases[] = {
      {"O:BA" + ours, ""},
      {"O:" + ti + "D:P(A;;FA;;;" + ti + ")(A;;0x1200a9;;;BA)(A;;0x1200a9;;;SY)(A;;0x1200a9;;;BU)", ""},
      // A file made in our folder: inherited entries, not protected; lower case read alike.
      {"O:S-1-5-32-544D:AI(A;ID;FA;;;SY)(a;id;fa;;;ba)(A;ID;0x1200a9;;;BU)", ""},
      {"O:" + user + ours, "its owner " + user},
      {"O:BU" + ours, "its owner BU"},
      {"O:BA" + ours + "(A;;0x1301bf;;;BU)", "an entry for BU"},
      {"O:BAD:P(A;;FA;;;SY)(A;OICI;GW;;;AU)", "an entry for AU"},
      {"O:BAD:P(A;;GA;;;WD)", "an entry for WD"},
      {"O:BAD:P(A;;SD;;;" + user + ")", "an entry for " + user},
      // A folder's Users: add file (0x2) is enough to plant one; only writing attributes is not.
      {"O:BAD:P(A;;FA;;;BA)(A;CI;0x2;;;BU)", "an entry for BU"},
      {"O:BAD:P(A;;FA;;;BA)(A;;0x100;;;BU)", ""},
      {"O:BAD:P(A;;FA;;;BA)(A;;WDWO;;;IU)", "an entry for IU"},
      // Inherit-only: passed to every file made there later, but CREATOR OWNER's goes to the maker.
      {"O:BAD:P(A;OICIIO;FA;;;BU)(A;;FA;;;BA)", "an entry for BU"},
      {"O:BAD:P(A;OICIIO;FA;;;CO)(A;;FA;;;BA)", ""},
      {"O:BAD:P(D;;FA;;;BA)(D;;FA;;;BU)(A;;FA;;;SY)", ""},
      {"O:BAD:P(XA;;FA;;;BU;(Member_of {SID(BA)}))", "an entry for BU"},
      {"O:BAD:NO_ACCESS_CONTROL", "no DACL"},
      {"O:BA", "no DACL"},
      {ours, "no owner"},
      {"O:BAD:P(A;;FA;;;BA)(AU;SA;FA;;;WD)", "an entry of a kind it does not know (AU)"},
      {"O:BAD:P(A;;QQ;;;BU)", "an entry whose rights cannot be read (QQ)"},
      {"O:BAD:P(A;;FA;;;BA", "a descriptor that cannot be read"},
      {"garbage", "a descriptor that cannot be read"},
  };
  for (const TCase& c : cases) EXPECT_EQ(platform::WhoElseCanChange(c.sddl), c.who) << c.sddl;
}

#ifndef _WIN32
// A restore puts back what the record's line gives: each kind must come back whole, and a
// damaged line must be refused rather than read as no security at all.
TEST(KeptSecurity, LineRoundTripAndDamage) {
  using platform::TKeptSecurity;
  using platform::TKeptSecurityKind;
  TKeptSecurity sddl{.kind = TKeptSecurityKind::Sddl, .sddl = "O:S-1-5-80-1D:P(A;;FA;;;SY)"};
  TKeptSecurity ntfs{.kind = TKeptSecurityKind::NtfsDescriptor, .descriptor = {0x01, 0x00, 0x04, 0x94, 0xAB}};
  for (const TKeptSecurity& kept : {TKeptSecurity{}, sddl, ntfs}) {
    const TKeptSecurity back = TKeptSecurity::FromText(kept.Text());
    EXPECT_EQ(back.kind, kept.kind) << kept.Text();
    EXPECT_EQ(back.sddl, kept.sddl);
    EXPECT_EQ(back.descriptor, kept.descriptor);
  }
  EXPECT_EQ(ntfs.Text(), "ntfs:01000494ab");
  for (const char* damaged : {"", "sddl:", "ntfs:", "ntfs:0g", "ntfs:123", "acl:x"})
    EXPECT_THROW(TKeptSecurity::FromText(damaged), Exception) << damaged;
}

TEST(RunProgram, ExitStatusTimeoutAndNoProgram) {
  using namespace platform;
  struct TCase {
    std::string program;
    std::vector<std::string> arguments;
    TProgramOutcome outcome;
    std::uint32_t exit_code;
    std::uint32_t error;
    std::chrono::milliseconds timeout{10000};
  };
  const TCase cases[] = {
      {"/bin/sh", {"-c", "exit 3"}, TProgramOutcome::Exited, 3, 0},
      // Each argument arrives whole, and nothing waits on the input.
      {"/bin/sh", {"-c", "test \"$1\" = 'a b\"c' && cat", "sh", "a b\"c"}, TProgramOutcome::Exited,
       0, 0},
      {"/bin/sh", {"-c", "sleep 10"}, TProgramOutcome::TimedOut, 0, 0,
       std::chrono::milliseconds(300)},
      {"/no/such/program", {}, TProgramOutcome::NotStarted, 0, ENOENT},
      {SystemProgramPath("bcdedit.exe"), {}, TProgramOutcome::NotStarted, 0, ENOENT},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.program + " " + (c.arguments.empty() ? "" : c.arguments.back()));
    const TProgramRun run = RunProgram(c.program, c.arguments, c.timeout);
    EXPECT_EQ(run.outcome, c.outcome);
    EXPECT_EQ(run.exit_code, c.exit_code);
    EXPECT_EQ(run.error, c.error);
  }
}
#endif

}  // namespace
}  // namespace marivane
