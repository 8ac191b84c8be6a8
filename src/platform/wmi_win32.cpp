#include "platform/wmi_win32.h"

#include <objbase.h>
#include <oleauto.h>

#include "base/owned.h"
#include "platform/platform_win32.h"

namespace marivane::platform {
namespace {

class TBstr : TNonCopyable {
 public:
  explicit TBstr(const wchar_t* text) : value_(SysAllocString(text)) {}
  ~TBstr() { SysFreeString(value_); }
  BSTR Get() const { return value_; }

 private:
  BSTR value_;
};

}  // namespace

TVariant::TVariant() { VariantInit(&value_); }

TVariant::TVariant(const wchar_t* text) : TVariant() {
  value_.vt = VT_BSTR;
  value_.bstrVal = SysAllocString(text);
}

TVariant::TVariant(std::uint32_t number) : TVariant() {
  value_.vt = VT_I4;
  value_.lVal = static_cast<LONG>(number);
}

TVariant::TVariant(const TVariant& other) : TVariant() {
  VariantCopy(&value_, const_cast<VARIANT*>(&other.value_));
}

TVariant::~TVariant() { VariantClear(&value_); }

VARIANT* TVariant::Out() {
  VariantClear(&value_);
  return &value_;
}

TWmiFailure WmiFailed(const std::string& step, HRESULT result) {
  return TWmiFailure{step + ": " + HexCode(static_cast<std::uint32_t>(result)), result};
}

TWmiFailure TWmiConnection::Open(const wchar_t* name_space) {
  IWbemLocator* locator = nullptr;
  HRESULT result = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IWbemLocator, reinterpret_cast<void**>(&locator));
  if (FAILED(result)) return WmiFailed("WbemLocator", result);
  const TComPointer<IWbemLocator> owned_locator(locator);
  IWbemServices* services = nullptr;
  const TBstr name(name_space);
  result = locator->ConnectServer(name.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                  &services);
  if (FAILED(result)) return WmiFailed(NarrowText(name_space), result);
  services_.Reset(services);
  // The proxy's own settings are what the provider sees, whatever the process's defaults.
  result = CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                             RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                             EOAC_NONE);
  if (FAILED(result)) return WmiFailed("CoSetProxyBlanket", result);
  return {};
}

TWmiFailure TWmiConnection::Class(const wchar_t* name, TWmiObject& found) {
  IWbemClassObject* object = nullptr;
  const TBstr class_name(name);
  const HRESULT result =
      services_.Get()->GetObject(class_name.Get(), 0, nullptr, &object, nullptr);
  if (FAILED(result)) return WmiFailed(NarrowText(name), result);
  found.Reset(object);
  return {};
}

TWmiFailure TWmiConnection::Call(const TWmiObject& of_class, const std::wstring& object_path,
                                 const wchar_t* method, const std::vector<TWmiParameter>& in,
                                 TWmiObject& out) {
  const std::string step = NarrowText(method);
  IWbemClassObject* signature = nullptr;
  HRESULT result = of_class.Get()->GetMethod(method, 0, &signature, nullptr);
  if (FAILED(result)) return WmiFailed(step, result);
  const TWmiObject owned_signature(signature);
  IWbemClassObject* parameters = nullptr;
  result = signature->SpawnInstance(0, &parameters);
  if (FAILED(result)) return WmiFailed(step, result);
  const TWmiObject owned_parameters(parameters);
  for (const TWmiParameter& parameter : in) {
    result = parameters->Put(parameter.name, 0, const_cast<VARIANT*>(&*parameter.value), 0);
    if (FAILED(result)) return WmiFailed(step + " " + NarrowText(parameter.name), result);
  }
  IWbemClassObject* answer = nullptr;
  const TBstr path(object_path.c_str());
  const TBstr method_name(method);
  result = services_.Get()->ExecMethod(path.Get(), method_name.Get(), 0, nullptr, parameters,
                                       &answer, nullptr);
  if (FAILED(result)) return WmiFailed(step, result);
  out.Reset(answer);
  return {};
}

bool ObjectOf(const TWmiObject& from, const wchar_t* name, TWmiObject& object) {
  TVariant value;
  if (FAILED(from.Get()->Get(name, 0, value.Out(), nullptr, nullptr)) ||
      (*value).vt != VT_UNKNOWN || (*value).punkVal == nullptr)
    return false;
  IWbemClassObject* found = nullptr;
  if (FAILED((*value).punkVal->QueryInterface(IID_IWbemClassObject,
                                              reinterpret_cast<void**>(&found))))
    return false;
  object.Reset(found);
  return true;
}

bool TextOf(const TWmiObject& from, const wchar_t* name, std::wstring& text) {
  TVariant value;
  if (FAILED(from.Get()->Get(name, 0, value.Out(), nullptr, nullptr)) ||
      (*value).vt != VT_BSTR || (*value).bstrVal == nullptr)
    return false;
  text = (*value).bstrVal;
  return true;
}

bool BooleanOf(const TWmiObject& from, const wchar_t* name, bool& answer) {
  TVariant value;
  if (FAILED(from.Get()->Get(name, 0, value.Out(), nullptr, nullptr)) ||
      (*value).vt != VT_BOOL)
    return false;
  answer = (*value).boolVal != VARIANT_FALSE;
  return true;
}

}  // namespace marivane::platform
