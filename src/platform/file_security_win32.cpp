// The security of a system file on Windows. Descriptors go in and out through Windows' own SDDL
// conversions; they are set through the held handle with SetKernelObjectSecurity, which stores
// the descriptor as given: the protection travels in it (SE_DACL_PROTECTED, and the
// PROTECTED_DACL_SECURITY_INFORMATION flag beside it), and nothing is inherited on the way.
// (Wine's SetSecurityInfo on a file handle sets mode 0775 whatever the DACL says, while
// SetKernelObjectSecurity maps the DACL onto the Unix mode bits, so that a test sees what was
// set.)
#include "platform/file_security.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <bit>
#include <vector>

#include "base/errors.h"
#include "base/owned.h"
#include "platform/platform.h"
#include "platform/platform_win32.h"
#include "platform/win32_handles.h"

namespace marivane::platform {
namespace {

[[noreturn]] void Fail(DWORD code) { throw OSError(code); }
[[noreturn]] void FailWithLastError() { Fail(GetLastError()); }

// Memory the security functions hand out with LocalAlloc.
void FreeLocal(void* memory) { LocalFree(memory); }
using TLocalMemory = TOwned<void*, &FreeLocal>;

TFileHandle OpenForSecurity(const std::string& path, TSecurityAccess access) {
  const DWORD rights =
      access == TSecurityAccess::Read ? READ_CONTROL : READ_CONTROL | WRITE_DAC | WRITE_OWNER;
  const HANDLE opened =
      CreateFileA(path.c_str(), rights,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (opened == INVALID_HANDLE_VALUE) FailWithLastError();
  return TFileHandle(opened);
}

TLocalMemory DescriptorFromSddl(const std::string& sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                            &descriptor, nullptr))
    FailWithLastError();
  return TLocalMemory(descriptor);
}

bool IsDaclProtected(PSECURITY_DESCRIPTOR descriptor) {
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  return GetSecurityDescriptorControl(descriptor, &control, &revision) &&
         (control & SE_DACL_PROTECTED) != 0;
}

void SetDescriptor(HANDLE file, SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR descriptor) {
  if ((what & DACL_SECURITY_INFORMATION) && IsDaclProtected(descriptor))
    what |= PROTECTED_DACL_SECURITY_INFORMATION;
  if (!SetKernelObjectSecurity(file, what, descriptor)) FailWithLastError();
}

std::vector<std::uint8_t> SidFromText(const std::string& text) {
  PSID sid = nullptr;
  if (!ConvertStringSidToSidA(text.c_str(), &sid)) FailWithLastError();
  const TLocalMemory owned(sid);
  const auto* bytes = static_cast<const std::uint8_t*>(sid);
  return std::vector<std::uint8_t>(bytes, bytes + GetLengthSid(sid));
}

// An absolute descriptor and the owner and DACL it points to, for setting one of them.
struct TDescriptorParts {
  SECURITY_DESCRIPTOR descriptor{};
  std::vector<std::uint8_t> owner;
  std::vector<std::uint8_t> dacl;
};

// Whether an ACE was given to the file rather than taken from its folder.
bool IsExplicit(const ACE_HEADER* ace) { return (ace->AceFlags & INHERITED_ACE) == 0; }

// `dacl` with one more entry, allowing `mask` to `sid`, after the explicit entries: where
// Windows' canonical order puts it.
std::vector<std::uint8_t> WithAllowedEntry(const ACL* dacl, DWORD mask, PSID sid) {
  const DWORD entry_size = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sid);
  const DWORD old_size = dacl != nullptr ? dacl->AclSize : sizeof(ACL);
  std::vector<std::uint8_t> grown(old_size + entry_size);
  auto* result = reinterpret_cast<ACL*>(grown.data());
  if (!InitializeAcl(result, static_cast<DWORD>(grown.size()), ACL_REVISION)) FailWithLastError();
  const DWORD count = dacl != nullptr ? dacl->AceCount : 0;
  bool added = false;
  for (DWORD index = 0; index < count; ++index) {
    void* ace = nullptr;
    if (!GetAce(const_cast<ACL*>(dacl), index, &ace)) FailWithLastError();
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    if (!added && !IsExplicit(header)) {
      if (!AddAccessAllowedAce(result, ACL_REVISION, mask, sid)) FailWithLastError();
      added = true;
    }
    if (!AddAce(result, ACL_REVISION, MAXDWORD, ace, header->AceSize)) FailWithLastError();
  }
  if (!added && !AddAccessAllowedAce(result, ACL_REVISION, mask, sid)) FailWithLastError();
  return grown;
}

}  // namespace

std::vector<std::string> EnablePrivileges(const std::vector<std::string>& names) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
    FailWithLastError();
  const TFileHandle owned_token(token);
  std::vector<std::string> missing;
  // One at a time: ERROR_NOT_ALL_ASSIGNED does not say which of several is missing.
  for (const std::string& name : names) {
    TOKEN_PRIVILEGES wanted{};
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(nullptr, name.c_str(), &wanted.Privileges[0].Luid))
      FailWithLastError();
    // It succeeds when the token lacks the privilege too; only the last error tells.
    if (!AdjustTokenPrivileges(token, FALSE, &wanted, 0, nullptr, nullptr)) FailWithLastError();
    const DWORD outcome = GetLastError();
    if (outcome == ERROR_NOT_ALL_ASSIGNED) missing.push_back(name);
    else if (outcome != ERROR_SUCCESS) Fail(outcome);
  }
  return missing;
}

struct TSecuredFile::TImpl {
  TFileHandle file;
};

TSecuredFile::TSecuredFile(const std::string& path, TSecurityAccess access)
    : impl_(std::make_unique<TImpl>(TImpl{OpenForSecurity(path, access)})) {}
TSecuredFile::~TSecuredFile() = default;
TSecuredFile::TSecuredFile(TSecuredFile&&) noexcept = default;
TSecuredFile& TSecuredFile::operator=(TSecuredFile&&) noexcept = default;

TFileSecurity TSecuredFile::Security() const {
  constexpr SECURITY_INFORMATION kWhat = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (const DWORD error = GetSecurityInfo(impl_->file.Get(), SE_FILE_OBJECT, kWhat, nullptr,
                                          nullptr, nullptr, nullptr, &descriptor))
    Fail(error);
  const TLocalMemory owned_descriptor(descriptor);
  char* text = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, kWhat,
                                                            &text, nullptr))
    FailWithLastError();
  const TLocalMemory owned_text(text);
  return TFileSecurity{text, IsDaclProtected(descriptor)};
}

void TSecuredFile::SetSecurity(const std::string& sddl) {
  const TLocalMemory descriptor = DescriptorFromSddl(sddl);
  PSID owner = nullptr;
  PACL dacl = nullptr;
  BOOL defaulted = FALSE, present = FALSE;
  // Both parts or neither: a descriptor without an owner would leave the file's as it is,
  // and one without a DACL would open the file to everyone.
  if (!GetSecurityDescriptorOwner(descriptor.Get(), &owner, &defaulted) ||
      !GetSecurityDescriptorDacl(descriptor.Get(), &present, &dacl, &defaulted))
    FailWithLastError();
  if (owner == nullptr || !present || dacl == nullptr) Fail(ERROR_INVALID_SECURITY_DESCR);
  SetDescriptor(impl_->file.Get(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                descriptor.Get());
}

void TSecuredFile::SetOwner(const std::string& sid) {
  TDescriptorParts parts;
  parts.owner = SidFromText(sid);
  if (!InitializeSecurityDescriptor(&parts.descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorOwner(&parts.descriptor, parts.owner.data(), FALSE))
    FailWithLastError();
  SetDescriptor(impl_->file.Get(), OWNER_SECURITY_INFORMATION, &parts.descriptor);
}

void TSecuredFile::TakeOwnershipForDelete() {
  SetOwner(kAdministratorsSid);
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR current = nullptr;
  if (const DWORD error = GetSecurityInfo(impl_->file.Get(), SE_FILE_OBJECT,
                                          DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                          nullptr, &current))
    Fail(error);
  const TLocalMemory owned_current(current);
  TDescriptorParts parts;
  std::vector<std::uint8_t> administrators = SidFromText(kAdministratorsSid);
  parts.dacl = WithAllowedEntry(dacl, DELETE, administrators.data());
  if (!InitializeSecurityDescriptor(&parts.descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&parts.descriptor, TRUE,
                                 reinterpret_cast<ACL*>(parts.dacl.data()), FALSE) ||
      (IsDaclProtected(current) &&
       !SetSecurityDescriptorControl(&parts.descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)))
    FailWithLastError();
  SetDescriptor(impl_->file.Get(), DACL_SECURITY_INFORMATION, &parts.descriptor);
}

void SetFileSecurity(const std::string& path, const std::string& sddl) {
  TSecuredFile(path).SetSecurity(sddl);
}

bool KeepsFileSecurity(const std::string& path) {
  // Wine is known by the export its ntdll has and Windows' has not.
  if (GetProcAddress(GetModuleHandleA("ntdll"), "wine_get_version") != nullptr) return false;
  char volume[MAX_PATH + 1] = {};
  DWORD flags = 0;
  if (!GetVolumePathNameA(path.c_str(), volume, MAX_PATH) ||
      !GetVolumeInformationA(volume, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0))
    return true;  // judged then: a descriptor that says nothing is not trusted
  return (flags & FILE_PERSISTENT_ACLS) != 0;
}

THardLinks HardLinksOf(const std::string& path) {
  const HANDLE opened =
      CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (opened == INVALID_HANDLE_VALUE) FailWithLastError();
  const TFileHandle file(opened);
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(file.Get(), &information)) FailWithLastError();
  THardLinks links;
  links.count = information.nNumberOfLinks;

  // Vista's; looked up at run time, since Wine 8.0's kernel32 lacks them (a static import of
  // one becomes a stub that ends the process when called).
  using FindFirstFileNameFn = HANDLE(WINAPI*)(LPCWSTR, DWORD, LPDWORD, PWSTR);
  using FindNextFileNameFn = BOOL(WINAPI*)(HANDLE, LPDWORD, PWSTR);
  const HMODULE kernel = GetModuleHandleA("kernel32");
  const auto find_first =
      std::bit_cast<FindFirstFileNameFn>(GetProcAddress(kernel, "FindFirstFileNameW"));
  const auto find_next =
      std::bit_cast<FindNextFileNameFn>(GetProcAddress(kernel, "FindNextFileNameW"));
  if (find_first == nullptr || find_next == nullptr) return links;

  // The names come without their drive ("\Windows\System32\..."): the volume's root gives it.
  const std::u16string wide = ToWidePath(path);
  const auto* wide_path = reinterpret_cast<const wchar_t*>(wide.c_str());
  wchar_t volume[MAX_PATH + 1] = {};
  wchar_t full[MAX_PATH + 1] = {};
  if (!GetVolumePathNameW(wide_path, volume, MAX_PATH)) return links;
  const DWORD full_length = GetFullPathNameW(wide_path, MAX_PATH, full, nullptr);
  if (full_length == 0 || full_length >= MAX_PATH) return links;
  std::wstring root = volume;
  if (!root.empty() && root.back() == L'\\') root.pop_back();

  // 32767: the longest path the system has. The call fails with ERROR_MORE_DATA for a longer
  // name, which none of Windows' own has.
  std::vector<wchar_t> name(32768);
  DWORD length = static_cast<DWORD>(name.size());
  const TSearchHandle find(find_first(wide_path, 0, &length, name.data()));
  if (!find) return links;
  std::vector<std::string> others;
  do {
    const std::wstring whole = root + name.data();
    // The name the caller gave is not one of the others, in whatever letter case.
    if (CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, whole.c_str(), -1, full, -1) !=
        CSTR_EQUAL)
      others.push_back(NarrowText(whole.c_str()));
    length = static_cast<DWORD>(name.size());
  } while (find_next(find.Get(), &length, name.data()));
  links.others = std::move(others);
  return links;
}

}  // namespace marivane::platform
