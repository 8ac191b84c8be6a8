// The one reader of marivane-cli's command lines. Each command declares in a table which
// options it takes, which of them take a value and which values they allow, and how many
// files; every wrong command line is then told what was wrong in the same words, for every
// command: an option the command does not take, a value it does not allow (with the ones it
// does), a missing value, an option without the one it goes with, too few or too many files.
#pragma once

#include <cstddef>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/errors.h"

namespace marivane::cli {

// The exit statuses: done, refused with a message saying why, a wrong command line.
constexpr int kExitOk = 0;
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;

struct TOption {
  std::string_view name;                    // "-o", "--mode"
  std::string_view value = {};              // what its value is called ("OUT"); empty: a flag
  std::span<const std::string_view> allowed = {};  // the values it takes; empty: any
  std::string_view needs = {};     // another option without which it means nothing
  std::string_view excludes = {};  // another option it cannot be given with
  bool required = false;
  // With it, the files may be left out: template --system takes LANGUAGE in SOURCE's place.
  bool files_optional = false;
};

inline constexpr std::size_t kAnyNumber = std::numeric_limits<std::size_t>::max();

class TArguments;

struct TCommand {
  std::string_view name;
  std::span<const TOption> options;
  std::size_t min_files;
  std::size_t max_files;  // kAnyNumber: no limit
  std::string_view files;  // how the usage names them: "SMALL.bmp BIG.bmp"
  int (*run)(const TArguments& arguments);
};

// A command line as a command's table read it.
class TArguments {
 public:
  std::vector<std::string> files;

  bool Has(std::string_view option) const;
  // The value given to `option`, the last one if it was given twice; `fallback` without it.
  std::string Value(std::string_view option, std::string_view fallback = {}) const;

 private:
  friend TArguments ParseArguments(const TCommand& command, std::span<char* const> args);
  std::vector<std::pair<std::string_view, std::string>> given_;
};

// A wrong command line; what() says what was wrong, before the usage follows it.
class EUsageError : public Exception {
 public:
  using Exception::Exception;
};

// `args` (what follows the command's name) read by the command's table. Raises EUsageError.
TArguments ParseArguments(const TCommand& command, std::span<char* const> args);

// The one of `names` a mistyped `word` most likely meant ("bild": "build"); empty when none
// is near enough to suggest.
std::string_view NearestName(std::string_view word, std::span<const std::string_view> names);

}  // namespace marivane::cli
