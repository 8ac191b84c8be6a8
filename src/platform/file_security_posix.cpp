// No Windows security here. A Windows partition's NTFS security, where ntfs-3g offers it, is
// offline_windows.h's.
#include <cerrno>

#include "platform/file_security.h"
#include "platform/platform.h"

#include <sys/stat.h>

namespace marivane::platform {
namespace {

[[noreturn]] void NotSupported() { throw OSError(ENOTSUP); }

}  // namespace

std::vector<std::string> EnablePrivileges(const std::vector<std::string>&) { NotSupported(); }

struct TSecuredFile::TImpl {};

TSecuredFile::TSecuredFile(const std::string&, TSecurityAccess) { NotSupported(); }
TSecuredFile::~TSecuredFile() = default;
TSecuredFile::TSecuredFile(TSecuredFile&&) noexcept = default;
TSecuredFile& TSecuredFile::operator=(TSecuredFile&&) noexcept = default;
TFileSecurity TSecuredFile::Security() const { NotSupported(); }
void TSecuredFile::SetSecurity(const std::string&) { NotSupported(); }
void TSecuredFile::SetOwner(const std::string&) { NotSupported(); }
void TSecuredFile::TakeOwnershipForDelete() { NotSupported(); }
void SetFileSecurity(const std::string&, const std::string&) { NotSupported(); }
bool KeepsFileSecurity(const std::string&) { return false; }

THardLinks HardLinksOf(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) throw OSError(static_cast<std::uint32_t>(errno));
  // ntfs-3g reports an NTFS file's link count; its other names would take a walk of the whole
  // partition to find.
  THardLinks links;
  links.count = static_cast<std::uint32_t>(status.st_nlink);
  return links;
}

}  // namespace marivane::platform
