// The catalog signature of a file, by wintrust.dll and crypt32.dll. Both are bound at run time
// from the system folder (never a copy beside the program): a system without one of the
// functions gets "cannot tell" rather than a program that does not start.
//
// Under Wine 8.0 every function is there, the hash is computed, but the prefix has no catalog
// database (System32\catroot\{F750E6C3-...} does not exist) and CryptCATAdminEnumCatalogFromHash
// fails with ERROR_FILE_NOT_FOUND: "cannot tell", which is the truth there.
#include "platform/file_signature.h"

#include <windows.h>
// Before the catalog headers, which use its types (WIN32_LEAN_AND_MEAN leaves it out).
#include <wincrypt.h>
#include <mscat.h>
#include <softpub.h>
#include <wintrust.h>

#include <bit>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "base/hex_text.h"
#include "platform/platform.h"
#include "platform/platform_win32.h"
#include "platform/win32_handles.h"

namespace marivane::platform {
namespace {

// The system's catalog database, by the subsystem GUID under which Windows' own catalogs are
// kept (System32\catroot\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\*.cat).
constexpr char kSystemCatalogs[] = "\\catroot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\*.cat";
// Vista's catalogs hash with SHA-1; the SHA-256 entries came with Windows 8.
constexpr DWORD kSha1Size = 20;

using AcquireContextFn = BOOL(WINAPI*)(HCATADMIN*, const GUID*, DWORD);
using CalcHashFn = BOOL(WINAPI*)(HANDLE, DWORD*, BYTE*, DWORD);
using EnumCatalogFn = HCATINFO(WINAPI*)(HCATADMIN, BYTE*, DWORD, DWORD, HCATINFO*);
using CatalogInfoFn = BOOL(WINAPI*)(HCATINFO, CATALOG_INFO*, DWORD);
using ReleaseCatalogFn = BOOL(WINAPI*)(HCATADMIN, HCATINFO, DWORD);
using ReleaseContextFn = BOOL(WINAPI*)(HCATADMIN, DWORD);
using VerifyTrustFn = LONG(WINAPI*)(HWND, GUID*, LPVOID);
using ProviderDataFn = CRYPT_PROVIDER_DATA*(WINAPI*)(HANDLE);
using SignerFn = CRYPT_PROVIDER_SGNR*(WINAPI*)(CRYPT_PROVIDER_DATA*, DWORD, BOOL, DWORD);
using ChainPolicyFn = BOOL(WINAPI*)(LPCSTR, PCCERT_CHAIN_CONTEXT, PCERT_CHAIN_POLICY_PARA,
                                    PCERT_CHAIN_POLICY_STATUS);
using NameStringFn = DWORD(WINAPI*)(PCCERT_CONTEXT, DWORD, DWORD, void*, LPWSTR, DWORD);

struct TTrustFunctions {
  AcquireContextFn acquire_context;
  CalcHashFn calc_hash;
  EnumCatalogFn enum_catalog;
  CatalogInfoFn catalog_info;
  ReleaseCatalogFn release_catalog;
  ReleaseContextFn release_context;
  VerifyTrustFn verify_trust;
  ProviderDataFn provider_data;
  SignerFn signer;
  ChainPolicyFn chain_policy;
  NameStringFn name_string;
};

std::string SystemFolder() {
  char folder[MAX_PATH + 1] = {};
  const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  return length == 0 || length > MAX_PATH ? "" : std::string(folder, length);
}

// Every function, or the name of the first one missing. The libraries stay loaded.
std::string Bind(TTrustFunctions& bound) {
  const std::string system = SystemFolder();
  const HMODULE wintrust = LoadLibraryA((system + "\\wintrust.dll").c_str());
  const HMODULE crypt32 = LoadLibraryA((system + "\\crypt32.dll").c_str());
  if (wintrust == nullptr) return "wintrust.dll";
  if (crypt32 == nullptr) return "crypt32.dll";
  std::string missing;
  const auto bind = [&](HMODULE library, auto& slot, const char* name) {
    slot = std::bit_cast<std::remove_reference_t<decltype(slot)>>(GetProcAddress(library, name));
    if (slot == nullptr && missing.empty()) missing = name;
  };
  bind(wintrust, bound.acquire_context, "CryptCATAdminAcquireContext");
  bind(wintrust, bound.calc_hash, "CryptCATAdminCalcHashFromFileHandle");
  bind(wintrust, bound.enum_catalog, "CryptCATAdminEnumCatalogFromHash");
  bind(wintrust, bound.catalog_info, "CryptCATCatalogInfoFromContext");
  bind(wintrust, bound.release_catalog, "CryptCATAdminReleaseCatalogContext");
  bind(wintrust, bound.release_context, "CryptCATAdminReleaseContext");
  bind(wintrust, bound.verify_trust, "WinVerifyTrust");
  bind(wintrust, bound.provider_data, "WTHelperProvDataFromStateData");
  bind(wintrust, bound.signer, "WTHelperGetProvSignerFromChain");
  bind(crypt32, bound.chain_policy, "CertVerifyCertificateChainPolicy");
  bind(crypt32, bound.name_string, "CertGetNameStringW");
  return missing;
}

bool HasSystemCatalogs() {
  WIN32_FIND_DATAA found{};
  return static_cast<bool>(
      TSearchHandle(FindFirstFileA((SystemFolder() + kSystemCatalogs).c_str(), &found)));
}

// Whether WinVerifyTrust's failure is a judgement on the signature (TRUST_E_..., CERT_E_...,
// CRYPT_E_...) rather than a failure to judge (the service did not answer, memory ran out).
bool IsVerdictOnTheSignature(LONG result) {
  const unsigned facility = HRESULT_FACILITY(result);
  return FAILED(result) && (facility == FACILITY_CERT || facility == FACILITY_SECURITY);
}

TFileSignature Verdict(TSignatureVerdict verdict, const std::string& detail) {
  return TFileSignature{verdict, detail};
}

TFileSignature CannotTell(const std::string& step, DWORD code) {
  return Verdict(TSignatureVerdict::CannotTell, step + ": " + HexCode(code));
}

// The verdict on the catalog member that WinVerifyTrust has verified, from its state.
TFileSignature SignerVerdict(const TTrustFunctions& trust, HANDLE state) {
  CRYPT_PROVIDER_DATA* provider = trust.provider_data(state);
  CRYPT_PROVIDER_SGNR* signer =
      provider != nullptr ? trust.signer(provider, 0, FALSE, 0) : nullptr;
  if (signer == nullptr || signer->pChainContext == nullptr || signer->csCertChain == 0)
    return Verdict(TSignatureVerdict::CannotTell, "the signer could not be read");
  wchar_t name[256] = {};
  trust.name_string(signer->pasCertChain[0].pCert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr,
                    name, 256);
  const std::string signer_name = NarrowText(name);
  // Windows' own test of a chain that ends in one of Microsoft's roots, by its public key: no
  // name in a certificate has to be trusted for it.
  CERT_CHAIN_POLICY_PARA policy{};
  policy.cbSize = sizeof policy;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof status;
  if (!trust.chain_policy(CERT_CHAIN_POLICY_MICROSOFT_ROOT, signer->pChainContext, &policy,
                          &status))
    return CannotTell("CertVerifyCertificateChainPolicy", GetLastError());
  if (status.dwError != 0)
    return Verdict(TSignatureVerdict::NotMicrosoft, "signed by " + signer_name);
  return Verdict(TSignatureVerdict::Microsoft, signer_name);
}

}  // namespace

TFileSignature CatalogSignatureOf(const std::string& path) {
  TTrustFunctions trust{};
  if (const std::string missing = Bind(trust); !missing.empty())
    return Verdict(TSignatureVerdict::CannotTell, missing + " is missing");
  if (!HasSystemCatalogs())
    return Verdict(TSignatureVerdict::CannotTell, "this Windows has no catalog files");

  const HANDLE opened = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return CannotTell("CreateFile", GetLastError());
  const TFileHandle file(opened);

  // The catalog service answers through this context; stopped, it fails here or in the search.
  HCATADMIN admin = nullptr;
  GUID driver_action = DRIVER_ACTION_VERIFY;
  if (!trust.acquire_context(&admin, &driver_action, 0))
    return CannotTell("CryptCATAdminAcquireContext", GetLastError());
  struct TAdminScope {
    const TTrustFunctions& trust;
    HCATADMIN admin;
    ~TAdminScope() { trust.release_context(admin, 0); }
  } admin_scope{trust, admin};

  BYTE hash[kSha1Size] = {};
  DWORD hash_size = sizeof hash;
  if (!trust.calc_hash(file.Get(), &hash_size, hash, 0) || hash_size != kSha1Size)
    return CannotTell("CryptCATAdminCalcHashFromFileHandle", GetLastError());

  SetLastError(ERROR_SUCCESS);
  HCATINFO catalog = trust.enum_catalog(admin, hash, hash_size, 0, nullptr);
  if (catalog == nullptr) {
    const DWORD error = GetLastError();
    // No catalog lists the hash: a file Windows does not know as its own.
    if (error == ERROR_NOT_FOUND || error == ERROR_SUCCESS)
      return Verdict(TSignatureVerdict::NotMicrosoft, "in no catalog of this Windows");
    return CannotTell("CryptCATAdminEnumCatalogFromHash", error);
  }
  struct TCatalogScope {
    const TTrustFunctions& trust;
    HCATADMIN admin;
    HCATINFO catalog;
    ~TCatalogScope() { trust.release_catalog(admin, catalog, 0); }
  } catalog_scope{trust, admin, catalog};
  CATALOG_INFO info{};
  info.cbStruct = sizeof info;
  if (!trust.catalog_info(catalog, &info, 0))
    return CannotTell("CryptCATCatalogInfoFromContext", GetLastError());

  // The catalog names its members by their hash, in upper-case hex.
  const std::string tag =
      HexString(std::span<const std::uint8_t>(hash, hash_size), THexCase::Upper);
  const std::u16string wide_tag = ToWidePath(tag);
  const std::u16string wide_path = ToWidePath(path);
  WINTRUST_CATALOG_INFO member{};
  member.cbStruct = sizeof member;
  member.pcwszCatalogFilePath = info.wszCatalogFile;
  member.pcwszMemberTag = reinterpret_cast<const wchar_t*>(wide_tag.c_str());
  member.pcwszMemberFilePath = reinterpret_cast<const wchar_t*>(wide_path.c_str());
  member.hMemberFile = file.Get();
  member.pbCalculatedFileHash = hash;
  member.cbCalculatedFileHash = hash_size;
  WINTRUST_DATA data{};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  // No revocation check, and nothing fetched from the network: a machine offline must still
  // get an answer.
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
  data.dwUnionChoice = WTD_CHOICE_CATALOG;
  data.pCatalog = &member;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const LONG trusted = trust.verify_trust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  TFileSignature verdict;
  if (trusted == ERROR_SUCCESS)
    verdict = SignerVerdict(trust, data.hWVTStateData);
  else if (IsVerdictOnTheSignature(trusted))
    verdict = Verdict(TSignatureVerdict::NotMicrosoft,
                      "the catalog's signature does not verify: " + HexCode(trusted));
  else
    verdict = CannotTell("WinVerifyTrust", trusted);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  trust.verify_trust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  return verdict;
}

}  // namespace marivane::platform
