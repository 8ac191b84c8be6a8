// The boot configuration through the BCD WMI provider (root\WMI): BcdStore.OpenStore(""),
// OpenObject of the current entry, GetElement. The provider runs as LocalService and
// impersonates its caller, who must be an administrator with the backup and restore
// privileges enabled, at impersonation level Impersonate.
//
// Under Wine 8.0 root\WMI connects, but there is no BcdStore class: GetObject answers
// WBEM_E_NOT_FOUND (0x80041002) within a few tens of milliseconds. Both classes are found
// before any method runs (wmi_win32.h says why).
#include "platform/boot_configuration.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <set>
#include <string>

#include "base/errors.h"
#include "platform/file_security.h"
#include "platform/platform_win32.h"
#include "platform/win32_handles.h"
#include "platform/wmi_win32.h"

namespace marivane::platform {
namespace {

// {current}: the entry the running Windows was started from.
constexpr wchar_t kCurrentEntry[] = L"{fa926493-6f1c-4193-a414-58f0b2456d1e}";
// BcdLibraryObjectList_InheritedObjects: the entries an entry takes the elements it lacks
// from, in order (the loader's usually names {bootloadersettings}).
constexpr std::uint32_t kBcdInheritedObjects = 0x14000006;
// Inheritance is a chain of a few entries; a configuration that loops stops here.
constexpr int kInheritanceDepth = 8;
// STATUS_NOT_FOUND, as the provider may hand it on.
constexpr HRESULT kStatusNotFound = static_cast<HRESULT>(0xC0000225);

// CoInitializeSecurity may be called once in a process, before COM marshals anything; a
// program that called it already (or whose COM use set the defaults) answers RPC_E_TOO_LATE,
// which is fine: the proxy's own settings are what the provider sees.
void InitialiseProcessSecurityOnce() {
  static LONG done = 0;
  if (InterlockedExchange(&done, 1) != 0) return;
  CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                       RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
}

// A method's boolean result ("ReturnValue") and the object one out-parameter holds.
TWmiFailure Answer(const TWmiObject& out, const wchar_t* name, const char* step,
                   TWmiObject& object) {
  bool done = false;
  if (!BooleanOf(out, L"ReturnValue", done) || !done)
    return TWmiFailure{std::string(step) + ": refused"};
  if (!ObjectOf(out, name, object)) return TWmiFailure{std::string(step) + ": no answer"};
  return {};
}

class TBcdSession {
 public:
  TWmiFailure Open() {
    if (TWmiFailure failure = wmi_.Open(L"root\\WMI")) return failure;
    if (TWmiFailure failure = wmi_.Class(L"BcdStore", store_class_)) return failure;
    return wmi_.Class(L"BcdObject", object_class_);
  }

  // BcdStore.OpenStore(""), the system store: its object path.
  TWmiFailure OpenSystemStore(std::wstring& store_path) {
    TWmiObject out;
    if (TWmiFailure failure =
            wmi_.Call(store_class_, L"BcdStore", L"OpenStore", {{L"File", TVariant(L"")}}, out))
      return failure;
    return PathOf(out, L"Store", "OpenStore", store_path);
  }

  // BcdStore.OpenObject(id): the entry's object path.
  TWmiFailure OpenEntry(const std::wstring& store_path, const std::wstring& id,
                        std::wstring& entry_path) {
    TWmiObject out;
    if (TWmiFailure failure = wmi_.Call(store_class_, store_path, L"OpenObject",
                                        {{L"Id", TVariant(id.c_str())}}, out))
      return failure;
    return PathOf(out, L"Object", "OpenObject", entry_path);
  }

  // BcdObject.GetElement(type): the element, or none when the entry has none.
  TWmiFailure Element(const std::wstring& entry_path, std::uint32_t type, TWmiObject& element) {
    TWmiObject out;
    if (TWmiFailure failure = wmi_.Call(object_class_, entry_path, L"GetElement",
                                        {{L"Type", TVariant(type)}}, out)) {
      // An absent element may come back as a failed call rather than a false result; only a
      // real Vista says which of these it gives.
      const bool not_found = failure.result == static_cast<HRESULT>(WBEM_E_NOT_FOUND) ||
                             failure.result == HRESULT_FROM_WIN32(ERROR_NOT_FOUND) ||
                             failure.result == kStatusNotFound;
      return not_found ? TWmiFailure{} : failure;
    }
    bool found = false;
    if (!BooleanOf(out, L"ReturnValue", found) || !found) return {};
    if (!ObjectOf(out, L"Element", element)) return TWmiFailure{"GetElement: no answer"};
    return {};
  }

 private:
  static TWmiFailure PathOf(const TWmiObject& out, const wchar_t* name, const char* step,
                            std::wstring& path) {
    TWmiObject object;
    if (TWmiFailure failure = Answer(out, name, step, object)) return failure;
    if (!TextOf(object, L"__RELPATH", path)) return TWmiFailure{std::string(step) + ": no path"};
    return {};
  }

  TWmiConnection wmi_;
  TWmiObject store_class_;
  TWmiObject object_class_;
};

// One element of an entry, or of the entries it inherits from, depth first in their order.
class TElementSearch {
 public:
  TElementSearch(TBcdSession& session, const std::wstring& store_path)
      : session_(session), store_path_(store_path) {}

  TWmiFailure Find(const std::wstring& id, std::uint32_t type, TWmiObject& element,
                   int depth = 0) {
    if (depth > kInheritanceDepth || !seen_.insert(id).second) return {};
    std::wstring entry_path;
    if (TWmiFailure failure = session_.OpenEntry(store_path_, id, entry_path)) return failure;
    if (TWmiFailure failure = session_.Element(entry_path, type, element)) return failure;
    if (element) return {};
    TWmiObject inherited;
    if (TWmiFailure failure = session_.Element(entry_path, kBcdInheritedObjects, inherited))
      return failure;
    TVariant ids;
    if (!inherited || FAILED(inherited.Get()->Get(L"Ids", 0, ids.Out(), nullptr, nullptr)) ||
        (*ids).vt != (VT_ARRAY | VT_BSTR))
      return {};
    LONG low = 0, high = -1;
    SafeArrayGetLBound((*ids).parray, 1, &low);
    SafeArrayGetUBound((*ids).parray, 1, &high);
    for (LONG index = low; index <= high && !element; ++index) {
      BSTR inherited_id = nullptr;
      if (FAILED(SafeArrayGetElement((*ids).parray, &index, &inherited_id))) continue;
      const std::wstring next = inherited_id;
      SysFreeString(inherited_id);
      if (TWmiFailure failure = Find(next, type, element, depth + 1)) return failure;
    }
    return {};
  }

 private:
  TBcdSession& session_;
  const std::wstring& store_path_;
  std::set<std::wstring> seen_;
};

TBootConfiguration ReadInThisThread() {
  TBootConfiguration read;
  TBcdSession session;
  std::wstring store_path;
  TWmiFailure failure = session.Open();
  if (!failure) failure = session.OpenSystemStore(store_path);
  if (failure) {
    read.problem = failure.problem;
    return read;
  }

  TWmiObject locale;
  if ((failure = TElementSearch(session, store_path).Find(kCurrentEntry, kBcdPreferredLocale,
                                                          locale))) {
    read.problem = failure.problem;
  } else {
    std::wstring text;
    read.locale_state = locale && TextOf(locale, L"String", text) ? TBootValue::Present
                                                                   : TBootValue::Absent;
    read.locale = NarrowText(text.c_str());
  }

  TWmiObject quiet;
  if ((failure = TElementSearch(session, store_path).Find(kCurrentEntry, kBcdQuietBoot, quiet))) {
    if (read.problem.empty()) read.problem = failure.problem;
  } else {
    bool on = false;
    read.quiet_boot =
        quiet && BooleanOf(quiet, L"Boolean", on) && on ? TQuietBoot::On : TQuietBoot::Off;
  }
  return read;
}

// The reading thread's state, shared with the caller until both have let go of it: the caller
// may stop waiting before the thread ends.
struct TReading {
  LONG holders = 2;
  TBootConfiguration result;

  void Release() {
    if (InterlockedDecrement(&holders) == 0) delete this;
  }
};

DWORD WINAPI ReadingThread(void* parameter) {
  auto* reading = static_cast<TReading*>(parameter);
  // A COM apartment of the thread's own: the caller's (the window's, for WIC) stays as it is.
  const HRESULT initialised = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  try {
    if (SUCCEEDED(initialised)) {
      InitialiseProcessSecurityOnce();
      reading->result = ReadInThisThread();
    } else {
      reading->result.problem = WmiFailed("CoInitializeEx", initialised).problem;
    }
  } catch (...) {
    reading->result = TBootConfiguration{};
    reading->result.problem = "out of memory";
  }
  if (SUCCEEDED(initialised)) CoUninitialize();
  reading->Release();
  return 0;
}

}  // namespace

TBootConfiguration ReadBootConfiguration(std::chrono::milliseconds timeout) {
  // The provider wants them enabled; without them (not an administrator) it refuses, and that
  // refusal is the answer.
  try {
    EnablePrivileges({kBackupPrivilege, kRestorePrivilege});
  } catch (const Exception&) {
  }
  auto* reading = new TReading;
  const HANDLE thread = CreateThread(nullptr, 0, &ReadingThread, reading, 0, nullptr);
  if (thread == nullptr) {
    delete reading;
    TBootConfiguration none;
    none.problem = "CreateThread: " + HexCode(GetLastError());
    return none;
  }
  const TFileHandle owned_thread(thread);
  TBootConfiguration result;
  if (WaitForSingleObject(thread, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0)
    result = reading->result;
  else
    result.problem = "no answer within " + std::to_string(timeout.count() / 1000) + " s";
  reading->Release();
  return result;
}

}  // namespace marivane::platform
