#include "platform/file_trust.h"

#include <cstdint>
#include <vector>

namespace marivane::platform {
namespace {

// The rights that change a file or a folder: FILE_WRITE_DATA / FILE_ADD_FILE (0x2),
// FILE_APPEND_DATA / FILE_ADD_SUBDIRECTORY (0x4), FILE_DELETE_CHILD (0x40), DELETE (0x10000),
// WRITE_DAC (0x40000), WRITE_OWNER (0x80000), GENERIC_ALL (0x10000000), GENERIC_WRITE
// (0x40000000). Writing attributes or extended attributes (0x100, 0x10) changes no content.
constexpr std::uint32_t kChangingRights = 0x2 | 0x4 | 0x40 | 0x10000 | 0x40000 | 0x80000 |
                                          0x10000000 | 0x40000000;

// The two-letter rights SDDL writes, with their bits (sddl.h's SDDL_* names).
struct TRightName {
  char name[3];
  std::uint32_t mask;
};
constexpr TRightName kRightNames[] = {
    {"GA", 0x10000000}, {"GR", 0x80000000}, {"GW", 0x40000000}, {"GX", 0x20000000},
    {"RC", 0x20000},    {"SD", 0x10000},    {"WD", 0x40000},    {"WO", 0x80000},
    {"RP", 0x10},       {"WP", 0x20},       {"CC", 0x1},        {"DC", 0x2},
    {"LC", 0x4},        {"SW", 0x8},        {"LO", 0x80},       {"DT", 0x40},
    {"CR", 0x100},      {"FA", 0x1F01FF},   {"FR", 0x120089},   {"FW", 0x120116},
    {"FX", 0x1200A0},   {"KA", 0xF003F},    {"KR", 0x20019},    {"KW", 0x20006},
    {"KX", 0x20019},    {"NR", 0x1},        {"NW", 0x2},        {"NX", 0x4},
};

// The owners and the SIDs that may change a backup, as an alias or as a SID.
constexpr const char* kAdministration[] = {
    "SY", "S-1-5-18",      // SYSTEM
    "BA", "S-1-5-32-544",  // Administrators
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",  // TrustedInstaller
};
// SIDs that stand for others: CREATOR OWNER and CREATOR GROUP (see the header), and OWNER
// RIGHTS, which is the owner, already judged.
constexpr const char* kStandIns[] = {"CO", "S-1-3-0", "CG", "S-1-3-1", "OW", "S-1-3-4"};

template <std::size_t N>
bool IsIn(const std::string& sid, const char* const (&list)[N]) {
  for (const char* known : list)
    if (sid == known) return true;
  return false;
}

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::vector<std::string> Split(const std::string& text, char at) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find(at, start)) != std::string::npos; start = end + 1)
    parts.push_back(text.substr(start, end - start));
  parts.push_back(text.substr(start));
  return parts;
}

// The rights of an entry: "0x1200a9", a decimal number, or two-letter names run together.
// False for text that is none of them.
bool RightsOf(const std::string& text, std::uint32_t& mask) {
  mask = 0;
  if (text.empty()) return true;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'X' || text[1] == 'x')) {
    if (text.size() > 10) return false;
    for (std::size_t i = 2; i < text.size(); ++i) {
      const char c = text[i];
      const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (digit < 0) return false;
      mask = mask * 16 + static_cast<std::uint32_t>(digit);
    }
    return true;
  }
  if (text[0] >= '0' && text[0] <= '9') {
    std::uint64_t value = 0;
    for (const char c : text) {
      if (c < '0' || c > '9' || value > 0xFFFFFFFFu) return false;
      value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > 0xFFFFFFFFu) return false;
    mask = static_cast<std::uint32_t>(value);
    return true;
  }
  if (text.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    bool known = false;
    for (const TRightName& right : kRightNames)
      if (text.compare(i, 2, right.name) == 0) mask |= right.mask, known = true;
    if (!known) return false;
  }
  return true;
}

// Who else one entry ("A;OICI;FA;;;SY", without its parentheses) lets change the object or
// the files made in it; empty for nobody.
std::string JudgeEntry(const std::string& entry) {
  const std::vector<std::string> fields = Split(entry, ';');
  if (fields.size() < 6) return "an entry that cannot be read";
  const std::string& type = fields[0];
  // Deny entries only take away; audit and label entries belong in no DACL.
  if (type == "D" || type == "OD" || type == "XD") return std::string();
  // Allow entries, plain, for an object type, or with a condition: the condition is not
  // weighed, as if it held.
  if (type != "A" && type != "OA" && type != "XA" && type != "ZA")
    return "an entry of a kind it does not know (" + type + ")";
  std::uint32_t mask = 0;
  if (!RightsOf(fields[2], mask)) return "an entry whose rights cannot be read (" + fields[2] + ")";
  const std::string& sid = fields[5];
  if ((mask & kChangingRights) == 0 || IsIn(sid, kAdministration) || IsIn(sid, kStandIns))
    return std::string();
  return "an entry for " + sid;
}

}  // namespace

std::string WhoElseCanChange(const std::string& text) {
  const std::string sddl = Upper(text);
  std::string owner, entries;
  bool has_dacl = false;
  std::size_t at = 0;
  // Sections "O:", "G:", "D:", "S:" in turn. A SID or alias holds no ':', so a section ends
  // where the next letter-and-colon begins, outside an entry's parentheses.
  while (at < sddl.size()) {
    if (at + 1 >= sddl.size() || sddl[at + 1] != ':') return "a descriptor that cannot be read";
    const char section = sddl[at];
    at += 2;
    std::size_t end = at;
    int depth = 0;
    while (end < sddl.size() && !(depth == 0 && end + 1 < sddl.size() && sddl[end + 1] == ':' &&
                                  std::string("OGDS").find(sddl[end]) != std::string::npos)) {
      if (sddl[end] == '(') ++depth;
      if (sddl[end] == ')' && --depth < 0) return "a descriptor that cannot be read";
      ++end;
    }
    const std::string value = sddl.substr(at, end - at);
    at = end;
    if (section == 'O') owner = value;
    if (section != 'D') continue;
    has_dacl = true;
    const std::size_t first = value.find('(');
    // A null DACL ("D:NO_ACCESS_CONTROL") lets everyone do everything.
    if (value.find("NO_ACCESS_CONTROL") < first) return "no DACL";
    for (std::size_t open = first; open != std::string::npos;) {
      // An entry's own parentheses nest (conditions): find its end by depth.
      std::size_t close = open;
      for (int level = 0; close < value.size(); ++close) {
        if (value[close] == '(') ++level;
        if (value[close] == ')' && --level == 0) break;
      }
      if (close >= value.size()) return "a descriptor that cannot be read";
      if (entries.empty()) entries = JudgeEntry(value.substr(open + 1, close - open - 1));
      open = close + 1 < value.size() ? close + 1 : std::string::npos;
      if (open != std::string::npos && value[open] != '(') return "a descriptor that cannot be read";
    }
  }
  if (owner.empty()) return "no owner";
  if (!IsIn(owner, kAdministration)) return "its owner " + owner;
  if (!has_dacl) return "no DACL";
  return entries;
}

}  // namespace marivane::platform
