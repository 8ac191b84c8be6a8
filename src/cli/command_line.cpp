#include "cli/command_line.h"

#include <algorithm>

#include "cli/cli_texts.h"

namespace marivane::cli {
namespace {

const TOption* FindOption(const TCommand& command, std::string_view name) {
  for (const TOption& option : command.options)
    if (option.name == name) return &option;
  return nullptr;
}

// What an option's value is called, or the values it may take.
std::string ValueText(const TOption& option) {
  return option.allowed.empty() ? std::string(option.value) : Alternatives(option.allowed);
}

[[noreturn]] void UnknownOption(const TCommand& command, std::string_view arg) {
  std::vector<std::string_view> names;
  for (const TOption& option : command.options) names.push_back(option.name);
  throw EUsageError(UnknownOptionMessage(command.name, arg) +
                    DidYouMeanText(NearestName(arg, names)));
}

[[noreturn]] void MissingValue(const TOption& option) {
  throw EUsageError(NeedsValueMessage(option.name, ValueText(option)));
}

// What the table asks of the whole line, once every word is read.
void CheckTogether(const TCommand& command, const TArguments& parsed) {
  bool files_optional = false;
  for (const TOption& option : command.options) {
    const bool given = parsed.Has(option.name);
    if (given && !option.needs.empty() && !parsed.Has(option.needs))
      throw EUsageError(GoesOnlyWithMessage(option.name, option.needs));
    if (given && !option.excludes.empty() && parsed.Has(option.excludes))
      throw EUsageError(NotTogetherMessage(option.name, option.excludes));
    if (!given && option.required)
      throw EUsageError(NeedsOptionMessage(command.name, option.name, ValueText(option)));
    files_optional = files_optional || (given && option.files_optional);
  }
  const std::size_t count = parsed.files.size();
  const std::size_t least = files_optional ? 0 : command.min_files;
  if (count < least)
    throw EUsageError(TooFewFilesMessage(command.name, command.files, count));
  if (count > command.max_files)
    throw EUsageError(TooManyFilesMessage(command.name, command.files, count));
}

// Edits that turn one word into the other, a swap of two neighbours counting as one.
std::size_t Distance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

}  // namespace

bool TArguments::Has(std::string_view option) const {
  return std::any_of(given_.begin(), given_.end(), [&](const auto& g) { return g.first == option; });
}

std::string TArguments::Value(std::string_view option, std::string_view fallback) const {
  for (auto given = given_.rbegin(); given != given_.rend(); ++given)
    if (given->first == option) return given->second;
  return std::string(fallback);
}

TArguments ParseArguments(const TCommand& command, std::span<char* const> args) {
  TArguments parsed;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg.empty() || arg[0] != '-') {
      parsed.files.emplace_back(arg);
      continue;
    }
    const TOption* option = FindOption(command, arg);
    if (option == nullptr) UnknownOption(command, arg);
    std::string value;
    if (!option->value.empty()) {
      if (i + 1 == args.size()) MissingValue(*option);
      value = args[++i];
      const auto& allowed = option->allowed;
      if (!allowed.empty() && std::find(allowed.begin(), allowed.end(), value) == allowed.end())
        throw EUsageError(ValueNotAllowedMessage(option->name, Alternatives(allowed), value));
    }
    parsed.given_.emplace_back(option->name, std::move(value));
  }
  CheckTogether(command, parsed);
  return parsed;
}

std::string_view NearestName(std::string_view word, std::span<const std::string_view> names) {
  std::string_view nearest;
  // More than a third of the word changed is another word, not a slip.
  std::size_t best = std::max<std::size_t>(1, word.size() / 3) + 1;
  for (std::string_view name : names) {
    const std::size_t distance = Distance(word, name);
    if (distance < best) {
      best = distance;
      nearest = name;
    }
  }
  return nearest;
}

}  // namespace marivane::cli
