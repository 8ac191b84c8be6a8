#include "module/resource_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "module/boot_template.h"
#include "module/language_template.h"
#include "module/template_layout.h"
#include "module_test_support.h"

namespace marivane::module::test {
namespace {

std::vector<TResource> Sorted(std::vector<TResource> resources) {
  std::sort(resources.begin(), resources.end(), [](const TResource& a, const TResource& b) {
    return std::tie(a.type, a.name, a.language) < std::tie(b.type, b.name, b.language);
  });
  return resources;
}

void ExpectSame(const std::vector<TResource>& actual, const std::vector<TResource>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i) {
    EXPECT_EQ(actual[i].type, expected[i].type) << i;
    EXPECT_EQ(actual[i].name, expected[i].name) << i;
    EXPECT_EQ(actual[i].language, expected[i].language) << i;
    EXPECT_EQ(actual[i].data, expected[i].data) << i;
    EXPECT_EQ(actual[i].code_page, expected[i].code_page) << i;
  }
}

// Our own boot screen files go back through the reader: the split directory around the fixed
// entry at 824, named types and data after a slot of 3.8 MB must all come back as written.
TEST(ResourceReader, ReadsBackWhatTheSlotWriterWrote) {
  const std::vector<TResource> extras = {
      {6, 7, 0x0409, RandomBytes(100, 1)},
      {TResourceKey::Named("typelib"), TResourceKey::Named("Layout"), 0x0407, RandomBytes(33, 2), 1252},
      {11, 1, 0x0409, {}},
  };
  const TSlotModule made = BuildBootTemplate(extras);
  const TBytes wim = RandomBytes(5000, 3);
  const std::vector<TResource> read = ReadResourceModule(Splice(made.template_bytes, wim));

  std::vector<TResource> expected(extras.begin(), extras.end());
  expected.push_back({10, 1, kTemplateLanguage, wim});
  ASSERT_EQ(read.size(), extras.size() + 3);  // plus the slot, VERSION and MUI
  std::vector<TResource> without_ours;
  for (const TResource& resource : read) {
    const bool ours = resource.type == TResourceKey(16) || resource.type == TResourceKey::Named("MUI");
    if (!ours) without_ours.push_back(resource);
  }
  ExpectSame(Sorted(without_ours), Sorted(expected));
}

// A template made from a finished module must, once a payload is spliced in, hold the same
// resources as that module did with its own payload: nothing lost, nothing moved into the slot.
TEST(LanguageTemplate, MadeFromABuiltModuleCarriesEverythingButTheSlot) {
  const std::vector<TResource> extras = {{6, 1, 0x0409, RandomBytes(64, 4)},
                                         {11, 1, 0x0409, RandomBytes(40, 5)}};
  const TBytes built = Splice(BuildBootTemplate(extras).template_bytes, RandomBytes(700, 6));
  const TLanguageTemplate made = BuildLanguageTemplate(built);
  EXPECT_EQ(made.language, kTemplateLanguage);
  EXPECT_EQ(made.carried, extras.size() + 2);

  const TBytes payload = RandomBytes(1234, 7);
  std::vector<TResource> before = Sorted(ReadResourceModule(built));
  for (TResource& resource : before)
    if (resource.type == TResourceKey(10)) resource.data = payload;
  ExpectSame(Sorted(ReadResourceModule(Splice(made.module.template_bytes, payload))), before);
}

// Truncations at every length of a valid module: each must be an error of our own kind, never
// a read past the end (ASan watches the native run).
TEST(ResourceReader, EveryTruncationIsAModuleError) {
  const TBytes whole = Splice(BuildBootTemplate().template_bytes, TBytes(16, 0x5A));
  const TBytes head(whole.begin(), whole.begin() + kSlotOffset);
  for (std::size_t length = 0; length < head.size(); ++length) {
    EXPECT_THROW(ReadResourceModule(std::span(head.data(), length)), EModuleError) << length;
  }
}

}  // namespace
}  // namespace marivane::module::test
