// A Windows partition mounted on Linux. ntfs-3g shows NTFS as it is: names keep their letter
// case, two names may differ in case alone (the POSIX namespace), junctions and symbolic links
// are symbolic links, and each file's security descriptor is the "system.ntfs_acl" extended
// attribute. A plain folder has no such attribute (EOPNOTSUPP for the system namespace).
#include "platform/offline_windows.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include "base/owned.h"
#include "platform/platform.h"
#include "platform/posix_handles.h"

namespace marivane::platform {
namespace {

constexpr char kNtfsAclAttribute[] = "system.ntfs_acl";
// What dislocker's FUSE file system holds: the unlocked volume, as one file.
constexpr char kDislockerFile[] = "dislocker-file";
// A boot sector, and the most a first read of a device asks for.
constexpr std::size_t kSectorSize = 512;

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringCase(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return i == a.size() && b[i] == '\0';
}

std::string RealPath(const std::string& path) {
  const std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr),
                                                         &std::free);
  return real ? std::string(real.get()) : std::string();
}

std::vector<std::string> Parts(const std::string& windows_path) {
  std::vector<std::string> parts;
  std::string part;
  for (const char c : windows_path + '/') {
    if (c != '/' && c != '\\') {
      part += c;
    } else if (!part.empty()) {
      parts.push_back(part);
      part.clear();
    }
  }
  return parts;
}

TOfflinePath Refused(const std::string& problem) {
  return TOfflinePath{TOfflinePathState::Refused, "", problem};
}

// The names in `folder` that are `part` but for letter case; errno set when it cannot be read.
bool Matches(const std::string& folder, const std::string& part, std::vector<std::string>& found) {
  const TFolderListing listing(opendir(folder.c_str()));
  if (!listing) return false;
  errno = 0;
  while (const dirent* entry = readdir(listing.Get())) {
    if (SameIgnoringCase(part, entry->d_name)) found.push_back(entry->d_name);
  }
  return errno == 0;
}

struct TMount {
  std::string point;
  std::string type;
};

// mountinfo writes a space, a tab, a line break and a backslash in a path as \ooo (octal).
std::string Unescaped(const std::string& field) {
  const auto is_octal = [](char c) { return c >= '0' && c <= '7'; };
  std::string text;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && is_octal(field[i + 1]) &&
        is_octal(field[i + 2]) && is_octal(field[i + 3])) {
      text += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                (field[i + 3] - '0'));
      i += 3;
    } else {
      text += field[i];
    }
  }
  return text;
}

// The mount `path` lies in: the last one listed whose point is `path` or a folder above it
// (a later mount hides an earlier one at the same point).
TMount MountOf(const std::string& path) {
  std::ifstream mounts("/proc/self/mountinfo");
  TMount best;
  std::string line;
  while (std::getline(mounts, line)) {
    // "36 35 98:0 /root /mnt/win rw,relatime shared:1 - fuseblk /dev/sda2 rw,..."
    std::istringstream fields(line);
    std::string id, parent, device, root, point, field;
    if (!(fields >> id >> parent >> device >> root >> point)) continue;
    while (fields >> field && field != "-") {
    }
    std::string type;
    if (!(fields >> type)) continue;
    point = Unescaped(point);
    if (IsPathUnder(path, point) && point.size() >= best.point.size()) best = TMount{point, type};
  }
  return best;
}

TNtfsSecurity Outcome(int error) {
  TNtfsSecurity outcome;
  outcome.error = static_cast<std::uint32_t>(error);
  outcome.state = error == ENOTSUP || error == EOPNOTSUPP || error == ENODATA
                      ? TNtfsSecurityState::NotOffered
                      : TNtfsSecurityState::Failed;
  return outcome;
}

}  // namespace

TOfflinePath ResolveOfflinePath(const std::string& mountpoint, const std::string& windows_path) {
  const std::string root = RealPath(mountpoint);
  struct stat root_status {};
  if (root.empty() || stat(root.c_str(), &root_status) != 0 || !S_ISDIR(root_status.st_mode))
    return Refused(mountpoint + " is not a folder");
  const std::vector<std::string> parts = Parts(windows_path);
  std::string here = root;
  for (std::size_t index = 0; index < parts.size(); ++index) {
    const std::string& part = parts[index];
    if (part == "." || part == "..") return Refused("\"" + part + "\" in " + windows_path);
    std::vector<std::string> found;
    if (!Matches(here, part, found)) return Refused(here + " cannot be read");
    if (found.size() > 1)
      return Refused(here + " holds both " + found[0] + " and " + found[1]);
    if (found.empty()) {
      TOfflinePath missing{TOfflinePathState::Missing, here, "no " + part + " in " + here};
      for (std::size_t rest = index; rest < parts.size(); ++rest) missing.path += "/" + parts[rest];
      return missing;
    }
    std::string next = here + "/" + found[0];
    struct stat status {};
    if (lstat(next.c_str(), &status) != 0) return Refused(next + " cannot be read");
    if (S_ISLNK(status.st_mode)) {
      const std::string target = RealPath(next);
      if (target.empty()) return Refused(next + " is a link that leads nowhere");
      if (!IsPathUnder(target, root)) return Refused(next + " is a link that leads out of " + root);
      next = target;
      if (stat(next.c_str(), &status) != 0) return Refused(next + " cannot be read");
    }
    if (status.st_dev != root_status.st_dev)
      return Refused("another file system is mounted at " + next);
    if (index + 1 < parts.size() && !S_ISDIR(status.st_mode))
      return Refused(next + " is not a folder");
    here = next;
  }
  return TOfflinePath{TOfflinePathState::Found, here, ""};
}

TNtfsSecurity ReadNtfsSecurity(const std::string& path) {
  // Asked for its size first; a descriptor changed in between makes the second call fail with
  // ERANGE, which is reported like any other refusal.
  const ssize_t size = getxattr(path.c_str(), kNtfsAclAttribute, nullptr, 0);
  if (size < 0) return Outcome(errno);
  TNtfsSecurity read;
  read.descriptor.resize(static_cast<std::size_t>(size));
  const ssize_t got = getxattr(path.c_str(), kNtfsAclAttribute, read.descriptor.data(),
                               read.descriptor.size());
  if (got < 0) return Outcome(errno);
  read.descriptor.resize(static_cast<std::size_t>(got));
  read.state = TNtfsSecurityState::Done;
  return read;
}

TNtfsSecurity WriteNtfsSecurity(const std::string& path, std::span<const std::uint8_t> descriptor) {
  if (setxattr(path.c_str(), kNtfsAclAttribute, descriptor.data(), descriptor.size(), 0) != 0)
    return Outcome(errno);
  TNtfsSecurity written;
  written.state = TNtfsSecurityState::Done;
  return written;
}

TOfflineVolume InspectOfflineVolume(const std::string& mountpoint) {
  TOfflineVolume volume;
  struct stat status {};
  if (stat(mountpoint.c_str(), &status) != 0) return volume;  // Missing
  if (!S_ISDIR(status.st_mode)) {
    volume.state = TOfflineVolumeState::NotAFolder;
    // A partition or an image named in the mountpoint's place: its first sector says what it is.
    if (S_ISBLK(status.st_mode) || S_ISREG(status.st_mode)) {
      const TDescriptor device(open(mountpoint.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
      std::uint8_t sector[kSectorSize] = {};
      const ssize_t got = device ? read(device.Get(), sector, sizeof sector) : -1;
      if (got > 0 && BootSectorKind(std::span(sector, static_cast<std::size_t>(got))) ==
                         TBootSectorKind::BitLocker)
        volume.state = TOfflineVolumeState::BitLockerLocked;
    }
    return volume;
  }
  const std::string real = RealPath(mountpoint);
  const TMount mount = MountOf(real);
  volume.file_system = mount.type;

  bool empty = true, dislocker = mount.type == "fuse.dislocker";
  if (const TFolderListing listing{opendir(real.c_str())}) {
    while (const dirent* entry = readdir(listing.Get())) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      empty = false;
      if (name == kDislockerFile) dislocker = true;
    }
  }
  struct statvfs file_system {};
  if (dislocker) volume.state = TOfflineVolumeState::DislockerView;
  else if (empty && mount.point != real) volume.state = TOfflineVolumeState::Empty;
  else if (statvfs(real.c_str(), &file_system) == 0 && (file_system.f_flag & ST_RDONLY) != 0)
    volume.state = TOfflineVolumeState::ReadOnly;
  else volume.state = TOfflineVolumeState::Usable;
  return volume;
}

}  // namespace marivane::platform
