// The boot configuration through the BCD WMI provider (root\WMI): BcdStore.OpenStore(""),
// OpenObject of the current entry, GetElement. The provider runs as LocalService and
// impersonates its caller, who must be an administrator with the backup and restore
// privileges enabled, at impersonation level Impersonate.
//
// Under Wine 8.0 root\WMI connects, but there is no BcdStore class: GetObject answers
// WBEM_E_NOT_FOUND (0x80041002) within a few tens of milliseconds. The class is always asked
// for before a method is run: Wine's ExecMethod on a class it lacks dereferences a null
// pointer and ends the process.
#include "platform/boot_configuration.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemcli.h>

#include <set>
#include <string>
#include <vector>

#include "platform/file_security.h"
#include "platform/platform_win32.h"
#include "platform/win32_handles.h"

namespace marivane::platform {
namespace {

// {current}: the entry the running Windows was started from.
constexpr wchar_t kCurrentEntry[] = L"{fa926493-6f1c-4193-a414-58f0b2456d1e}";
// BcdLibraryObjectList_InheritedObjects: the entries an entry takes the elements it lacks
// from, in order (the loader's usually names {bootloadersettings}).
constexpr std::uint32_t kBcdInheritedObjects = 0x14000006;
// Inheritance is a chain of a few entries; a configuration that loops stops here.
constexpr int kInheritanceDepth = 8;

class TBstr : TNonCopyable {
 public:
  explicit TBstr(const wchar_t* text) : value_(SysAllocString(text)) {}
  ~TBstr() { SysFreeString(value_); }
  BSTR Get() const { return value_; }

 private:
  BSTR value_;
};

class TVariant : TNonCopyable {
 public:
  TVariant() { VariantInit(&value_); }
  ~TVariant() { VariantClear(&value_); }
  // For a call that fills it.
  VARIANT* Out() { return &value_; }
  const VARIANT& operator*() const { return value_; }

 private:
  VARIANT value_;
};

using TObject = TComPointer<IWbemClassObject>;

// What a step gave: nothing (S_OK), or the failure the record names.
struct TStepFailure {
  std::string problem;
  explicit operator bool() const { return !problem.empty(); }
};

TStepFailure Failed(const char* step, HRESULT result) {
  return TStepFailure{std::string(step) + ": " + HexCode(static_cast<std::uint32_t>(result))};
}

// CoInitializeSecurity may be called once in a process, before COM marshals anything; a
// program that called it already (or whose COM use set the defaults) answers RPC_E_TOO_LATE,
// which is fine: the proxy's own settings below are what the provider sees.
void InitialiseProcessSecurityOnce() {
  static LONG done = 0;
  if (InterlockedExchange(&done, 1) != 0) return;
  CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                       RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
}

class TBcdSession {
 public:
  // Connects to root\WMI and finds the two classes; the failure, if any.
  TStepFailure Open() {
    IWbemLocator* locator = nullptr;
    HRESULT result = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IWbemLocator, reinterpret_cast<void**>(&locator));
    if (FAILED(result)) return Failed("WbemLocator", result);
    const TComPointer<IWbemLocator> owned_locator(locator);
    IWbemServices* services = nullptr;
    const TBstr name_space(L"root\\WMI");
    result = locator->ConnectServer(name_space.Get(), nullptr, nullptr, nullptr, 0, nullptr,
                                    nullptr, &services);
    if (FAILED(result)) return Failed("root\\WMI", result);
    services_.Reset(services);
    result = CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                               RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                               EOAC_NONE);
    if (FAILED(result)) return Failed("CoSetProxyBlanket", result);
    if (TStepFailure failure = Class(L"BcdStore", store_class_)) return failure;
    return Class(L"BcdObject", object_class_);
  }

  // BcdStore.OpenStore(""): the system store; its object path.
  TStepFailure OpenSystemStore(std::wstring& store_path) {
    TObject out;
    if (TStepFailure failure = Call(store_class_, L"BcdStore", L"OpenStore", L"File",
                                    String(L""), out))
      return failure;
    return PathOfOutput(out, L"Store", "OpenStore", store_path);
  }

  // BcdStore.OpenObject(id): the entry's object path.
  TStepFailure OpenEntry(const std::wstring& store_path, const std::wstring& id,
                         std::wstring& entry_path) {
    TObject out;
    if (TStepFailure failure =
            Call(store_class_, store_path, L"OpenObject", L"Id", String(id.c_str()), out))
      return failure;
    return PathOfOutput(out, L"Object", "OpenObject", entry_path);
  }

  // BcdObject.GetElement(type): the element, or a null one when the entry has none.
  TStepFailure Element(const std::wstring& entry_path, std::uint32_t type, TObject& element) {
    VARIANT value{};
    value.vt = VT_I4;  // WMI carries a uint32 in a VT_I4
    value.lVal = static_cast<LONG>(type);
    TObject out;
    if (TStepFailure failure = Call(object_class_, entry_path, L"GetElement", L"Type", value, out)) {
      // An absent element may come back as a failure of the call rather than a false result;
      // only a real Vista says which of these it gives.
      return IsNotFound(last_result_) ? TStepFailure{} : failure;
    }
    if (!ReturnValue(out)) return {};
    return Output(out, L"Element", "GetElement", element);
  }

 private:
  static bool IsNotFound(HRESULT result) {
    return result == static_cast<HRESULT>(WBEM_E_NOT_FOUND) ||
           result == HRESULT_FROM_WIN32(ERROR_NOT_FOUND) ||
           result == static_cast<HRESULT>(0xC0000225);  // STATUS_NOT_FOUND, as the provider has it
  }

  static VARIANT String(const wchar_t* text) {
    VARIANT value{};
    value.vt = VT_BSTR;
    value.bstrVal = const_cast<BSTR>(text);  // borrowed: Put copies it
    return value;
  }

  TStepFailure Class(const wchar_t* name, TObject& found) {
    IWbemClassObject* object = nullptr;
    const TBstr class_name(name);
    const HRESULT result = services_.Get()->GetObject(class_name.Get(), 0, nullptr, &object,
                                                      nullptr);
    if (FAILED(result)) return Failed(NarrowText(name).c_str(), result);
    found.Reset(object);
    return {};
  }

  // Runs `method` on `object_path` (a class's name for a static method) with one in-parameter.
  TStepFailure Call(const TObject& of_class, const std::wstring& object_path,
                    const wchar_t* method, const wchar_t* parameter, VARIANT value,
                    TObject& out) {
    const std::string step = NarrowText(method);
    last_result_ = S_OK;
    IWbemClassObject* signature = nullptr;
    HRESULT result = of_class.Get()->GetMethod(method, 0, &signature, nullptr);
    if (FAILED(result)) return Failed(step.c_str(), result);
    const TObject owned_signature(signature);
    IWbemClassObject* in = nullptr;
    result = signature->SpawnInstance(0, &in);
    if (FAILED(result)) return Failed(step.c_str(), result);
    const TObject owned_in(in);
    result = in->Put(parameter, 0, &value, 0);
    if (FAILED(result)) return Failed(step.c_str(), result);
    IWbemClassObject* answer = nullptr;
    const TBstr path(object_path.c_str());
    const TBstr method_name(method);
    last_result_ = services_.Get()->ExecMethod(path.Get(), method_name.Get(), 0, nullptr, in,
                                               &answer, nullptr);
    if (FAILED(last_result_)) return Failed(step.c_str(), last_result_);
    out.Reset(answer);
    return {};
  }

  static bool ReturnValue(const TObject& out) {
    TVariant value;
    return SUCCEEDED(out.Get()->Get(L"ReturnValue", 0, value.Out(), nullptr, nullptr)) &&
           (*value).vt == VT_BOOL && (*value).boolVal != VARIANT_FALSE;
  }

  // The object an out-parameter holds.
  static TStepFailure Output(const TObject& out, const wchar_t* name, const char* step,
                             TObject& object) {
    TVariant value;
    if (FAILED(out.Get()->Get(name, 0, value.Out(), nullptr, nullptr)) ||
        (*value).vt != VT_UNKNOWN || (*value).punkVal == nullptr)
      return TStepFailure{std::string(step) + ": no " + NarrowText(name)};
    IWbemClassObject* found = nullptr;
    const HRESULT result = (*value).punkVal->QueryInterface(
        IID_IWbemClassObject, reinterpret_cast<void**>(&found));
    if (FAILED(result)) return Failed(step, result);
    object.Reset(found);
    return {};
  }

  TStepFailure PathOfOutput(const TObject& out, const wchar_t* name, const char* step,
                            std::wstring& path) {
    if (!ReturnValue(out)) return TStepFailure{std::string(step) + ": refused"};
    TObject object;
    if (TStepFailure failure = Output(out, name, step, object)) return failure;
    TVariant value;
    if (FAILED(object.Get()->Get(L"__RELPATH", 0, value.Out(), nullptr, nullptr)) ||
        (*value).vt != VT_BSTR)
      return TStepFailure{std::string(step) + ": no path"};
    path = (*value).bstrVal;
    return {};
  }

  TComPointer<IWbemServices> services_;
  TObject store_class_;
  TObject object_class_;
  HRESULT last_result_ = S_OK;
};

// One element of an entry, or of the entries it inherits from, depth first in their order.
struct TElementSearch {
  TBcdSession& session;
  const std::wstring& store_path;
  std::set<std::wstring> seen;

  TStepFailure Find(const std::wstring& id, std::uint32_t type, TObject& element, int depth = 0) {
    if (depth > kInheritanceDepth || !seen.insert(id).second) return {};
    std::wstring entry_path;
    if (TStepFailure failure = session.OpenEntry(store_path, id, entry_path)) return failure;
    if (TStepFailure failure = session.Element(entry_path, type, element)) return failure;
    if (element) return {};
    TObject inherited;
    if (TStepFailure failure = session.Element(entry_path, kBcdInheritedObjects, inherited))
      return failure;
    if (!inherited) return {};
    TVariant ids;
    if (FAILED(inherited.Get()->Get(L"Ids", 0, ids.Out(), nullptr, nullptr)) ||
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
      if (TStepFailure failure = Find(next, type, element, depth + 1)) return failure;
    }
    return {};
  }
};

TBootConfiguration ReadInThisThread() {
  TBootConfiguration read;
  TBcdSession session;
  std::wstring store_path;
  TStepFailure failure = session.Open();
  if (!failure) failure = session.OpenSystemStore(store_path);
  if (failure) {
    read.problem = failure.problem;
    return read;
  }

  TObject locale;
  TElementSearch search_locale{session, store_path, {}};
  if ((failure = search_locale.Find(kCurrentEntry, kBcdPreferredLocale, locale))) {
    read.problem = failure.problem;
  } else {
    read.locale_state = TBootValue::Absent;
    TVariant text;
    if (locale && SUCCEEDED(locale.Get()->Get(L"String", 0, text.Out(), nullptr, nullptr)) &&
        (*text).vt == VT_BSTR) {
      read.locale_state = TBootValue::Present;
      read.locale = NarrowText((*text).bstrVal);
    }
  }

  TObject quiet;
  TElementSearch search_quiet{session, store_path, {}};
  if ((failure = search_quiet.Find(kCurrentEntry, kBcdQuietBoot, quiet))) {
    if (read.problem.empty()) read.problem = failure.problem;
  } else {
    TVariant on;
    read.quiet_boot = quiet && SUCCEEDED(quiet.Get()->Get(L"Boolean", 0, on.Out(), nullptr, nullptr)) &&
                              (*on).vt == VT_BOOL && (*on).boolVal != VARIANT_FALSE
                          ? TQuietBoot::On
                          : TQuietBoot::Off;
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
  const bool initialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  if (initialised) InitialiseProcessSecurityOnce();
  try {
    if (initialised) reading->result = ReadInThisThread();
    else reading->result.problem = "CoInitializeEx failed";
  } catch (...) {
    reading->result = TBootConfiguration{};
    reading->result.problem = "out of memory";
  }
  if (initialised) CoUninitialize();
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
