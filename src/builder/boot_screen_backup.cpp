#include "builder/boot_screen_backup.h"

#include <algorithm>
#include <exception>

#include "base/errors.h"
#include "base/hex_text.h"
#include "base/sha256.h"
#include "platform/platform.h"

namespace marivane {
namespace {

// One "name=value" line per field; the names are the record's own and never change, so that a
// later version reads an older backup.
struct TField {
  const char* name;
  std::string TBackupRecord::* text;
};
constexpr TField kTextFields[] = {
    {"sha256", &TBackupRecord::sha256},
    {"windows_path", &TBackupRecord::windows_path},
    {"file_version", &TBackupRecord::file_version},
    {"loader_version", &TBackupRecord::loader_version},
    {"windows_build", &TBackupRecord::windows_build},
    {"signature", &TBackupRecord::signature},
    {"quiet_boot_before", &TBackupRecord::quiet_boot_before},
};
constexpr char kSizeField[] = "size";
constexpr char kSecurityField[] = "security";
constexpr char kRecordHeading[] = "marivane backup 1";

// The lines of `text`, split at each line feed. (No string streams: the window links this
// file, and they would bring the C runtime's locale functions into its imports.)
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace

std::string TBackupRecord::Text() const {
  std::string text = std::string(kRecordHeading) + "\n";
  for (const TField& field : kTextFields) text += std::string(field.name) + "=" + this->*field.text + "\n";
  text += std::string(kSizeField) + "=" + std::to_string(size) + "\n";
  text += std::string(kSecurityField) + "=" + security.Text() + "\n";
  return text;
}

std::optional<TBackupRecord> TBackupRecord::FromText(const std::string& text) {
  const std::vector<std::string> lines = Lines(text);
  if (lines.empty() || lines.front() != kRecordHeading) return std::nullopt;
  TBackupRecord record;
  std::size_t seen = 0;
  try {
    for (std::size_t i = 1; i < lines.size(); ++i) {
      const std::string& line = lines[i];
      const std::size_t equals = line.find('=');
      if (equals == std::string::npos) return std::nullopt;
      const std::string name = line.substr(0, equals), value = line.substr(equals + 1);
      ++seen;
      if (name == kSizeField) {
        // By hand: MinGW's strtoull would bring locale functions into the window's imports.
        if (value.empty() || value.size() > 18) return std::nullopt;
        record.size = 0;
        for (const char digit : value) {
          if (digit < '0' || digit > '9') return std::nullopt;
          record.size = record.size * 10 + static_cast<std::uint64_t>(digit - '0');
        }
      } else if (name == kSecurityField) {
        record.security = platform::TKeptSecurity::FromText(value);
      } else {
        bool known = false;
        for (const TField& field : kTextFields)
          if (name == field.name) record.*field.text = value, known = true;
        if (!known) --seen;
      }
    }
  } catch (const Exception&) {
    return std::nullopt;
  }
  if (seen != std::size(kTextFields) + 2 || record.sha256.size() != 64) return std::nullopt;
  return record;
}

std::string InFolder(const std::string& folder, const std::string& name) {
  const char separator = folder.find('\\') != std::string::npos ? '\\' : '/';
  return folder + separator + name;
}

std::string DigestText(const std::vector<std::uint8_t>& bytes) {
  return HexString(Sha256Of(bytes));
}

std::optional<TBackupRecord> ReadCompleteBackup(const std::string& folder) {
  try {
    const std::vector<std::uint8_t> record_bytes =
        platform::ReadWholeFile(InFolder(folder, kBackupRecordName));
    std::optional<TBackupRecord> record =
        TBackupRecord::FromText(std::string(record_bytes.begin(), record_bytes.end()));
    if (!record) return std::nullopt;
    const std::vector<std::uint8_t> original =
        platform::ReadWholeFile(InFolder(folder, kBackupOriginalName));
    if (original.size() != record->size || DigestText(original) != record->sha256)
      return std::nullopt;
    return record;
  } catch (const Exception&) {
    return std::nullopt;
  }
}

std::string FolderFromRoot(const std::string& windows_path) {
  std::string folder = windows_path;
  if (folder.size() >= 2 && folder[1] == ':') folder.erase(0, 2);
  const std::size_t last = folder.find_last_of('\\');
  return last == std::string::npos ? folder : folder.substr(0, last);
}

std::string RestoreScript(const std::string& language, const std::string& system_folder,
                          const std::string& backup_folder) {
  // Windows' cmd wants CR LF. In the recovery prompt X: is a RAM disk and %SystemRoot% points
  // into it, so every path is built on the script's own drive. copy /y onto the target would
  // write through its hard link into the component store: the original goes beside it and is
  // renamed over it instead. bcdedit is left alone: there {current} is the recovery entry.
  const std::string lines[] = {
      "@echo off",
      "rem Marivane: puts back Windows' own winload.exe.mui for " + language + ".",
      "rem Run it from the recovery Command Prompt (the Vista DVD's or a recovery partition's",
      "rem \"Repair your computer\"). It finds the Windows drive from its own place.",
      "setlocal",
      "set D=%~d0",
      "set B=%D%" + backup_folder,
      "set T=%D%" + system_folder,
      "if not exist \"%B%\\" + std::string(kBackupRecordName) + "\" goto elsewhere",
      "if not exist \"%B%\\" + std::string(kBackupOriginalName) + "\" goto elsewhere",
      "if not exist \"%T%\\winload.exe.mui\" goto nosystem",
      "echo Putting back %T%\\winload.exe.mui",
      "if exist \"%T%\\winload.exe.mui.marivane-new\" del \"%T%\\winload.exe.mui.marivane-new\"",
      "copy /b \"%B%\\winload.exe.mui\" \"%T%\\winload.exe.mui.marivane-new\" >nul",
      "if errorlevel 1 goto nocopy",
      "fc /b \"%B%\\winload.exe.mui\" \"%T%\\winload.exe.mui.marivane-new\" >nul",
      "if errorlevel 1 goto nocopy",
      "move /y \"%T%\\winload.exe.mui.marivane-new\" \"%T%\\winload.exe.mui\" >nul",
      "if errorlevel 1 goto norename",
      "fc /b \"%B%\\winload.exe.mui\" \"%T%\\winload.exe.mui\" >nul",
      "if errorlevel 1 goto nocheck",
      "echo Done: the original winload.exe.mui is back. Restart the computer.",
      "exit /b 0",
      ":elsewhere",
      "echo This script must be run from %B%, on the Windows drive.",
      "exit /b 2",
      ":nosystem",
      "echo %D% holds no %T%\\winload.exe.mui: is %D% the Windows drive?",
      "exit /b 2",
      ":nocopy",
      "if exist \"%T%\\winload.exe.mui.marivane-new\" del \"%T%\\winload.exe.mui.marivane-new\"",
      "echo The original could not be copied into %T%. Nothing was changed.",
      "exit /b 1",
      ":norename",
      "del \"%T%\\winload.exe.mui.marivane-new\"",
      "echo Windows refused to replace %T%\\winload.exe.mui. Nothing was changed.",
      "echo Allow it with these two commands, then run this script again:",
      "echo   takeown /a /f \"%T%\\winload.exe.mui\"",
      "echo   icacls \"%T%\\winload.exe.mui\" /grant *S-1-5-32-544:(D)",
      "exit /b 1",
      ":nocheck",
      "echo %T%\\winload.exe.mui differs from the original after the rename: run this again.",
      "exit /b 1",
  };
  std::string script;
  for (const std::string& line : lines) script += line + "\r\n";
  return script;
}

}  // namespace marivane
