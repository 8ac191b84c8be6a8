// The texts that errors carry to the user.
#include <gtest/gtest.h>

#include "base/errors.h"
#include "platform/platform.h"

namespace marivane {
namespace {

TEST(DefaultHandlerText, AppendsAFullStopOnlyAfterCharactersThatSortAfterIt) {
  const std::pair<const char*, const char*> cases[] = {
      {"Bitmap image is not valid", "Bitmap image is not valid."},
      {"Code 5", "Code 5."},
      {"Really?", "Really?."},
      {"Already stopped.", "Already stopped."},
      {"Careful!", "Careful!"},
      {"Unknown picture file extension (.JPG)", "Unknown picture file extension (.JPG)"},
      {"", ""},
  };
  for (const auto& [message, shown] : cases) EXPECT_EQ(DefaultHandlerText(message), shown) << message;
}

TEST(SystemErrorText, OSErrorHasTheCodeAndTheSystemsTextWithoutItsTrailingStop) {
  const std::string text = platform::OSError(2).what();
  const std::string prefix = "System Error.  Code: 2.\r\n";
  ASSERT_EQ(text.substr(0, prefix.size()), prefix);
  const std::string system = text.substr(prefix.size());
  ASSERT_FALSE(system.empty());
  EXPECT_NE(system.back(), '.');
  EXPECT_NE(system.back(), '\n');
  EXPECT_NE(system.back(), ' ');
}

}  // namespace
}  // namespace marivane
