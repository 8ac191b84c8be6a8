// WMI from C++, for the Win32 platform layer: a connection to one namespace, made on a thread
// that has COM, and method calls whose in-parameters are set by name. Every failure comes back
// as the step that failed and its code, for the record.
#pragma once

#include <windows.h>
#include <wbemcli.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32_handles.h"

namespace marivane::platform {

// A VARIANT that clears itself.
class TVariant {
 public:
  TVariant();
  // A string: a BSTR of its own (a copy reads the length stored before the text).
  explicit TVariant(const wchar_t* text);
  // A uint32, which WMI carries in a VT_I4.
  explicit TVariant(std::uint32_t number);
  TVariant(const TVariant& other);
  TVariant& operator=(const TVariant&) = delete;
  ~TVariant();

  // For a call that fills it; what it held is cleared first.
  VARIANT* Out();
  const VARIANT& operator*() const { return value_; }

 private:
  VARIANT value_;
};

using TWmiObject = TComPointer<IWbemClassObject>;

// A step that failed: "OpenStore: 0x80041002"; empty when it did not.
struct TWmiFailure {
  std::string problem;
  HRESULT result = S_OK;  // the call's own code, where it failed with one
  explicit operator bool() const { return !problem.empty(); }
};

TWmiFailure WmiFailed(const std::string& step, HRESULT result);

struct TWmiParameter {
  const wchar_t* name;
  TVariant value;
};

class TWmiConnection {
 public:
  // Connects to `name_space` ("root\WMI") at impersonation level Impersonate, which the
  // providers that act as their caller need.
  TWmiFailure Open(const wchar_t* name_space);
  TWmiFailure Class(const wchar_t* name, TWmiObject& found);
  // Runs `method` of `of_class` on the object at `object_path` (the class's name, for a
  // static method) with `in`; `out` holds the out-parameters. The class must have been found
  // first: Wine's ExecMethod on a class it lacks ends the process.
  TWmiFailure Call(const TWmiObject& of_class, const std::wstring& object_path,
                   const wchar_t* method, const std::vector<TWmiParameter>& in, TWmiObject& out);

 private:
  TComPointer<IWbemServices> services_;
};

// A property or out-parameter `name` of `from`: false when it is absent or of another type.
bool ObjectOf(const TWmiObject& from, const wchar_t* name, TWmiObject& object);
bool TextOf(const TWmiObject& from, const wchar_t* name, std::wstring& text);
bool BooleanOf(const TWmiObject& from, const wchar_t* name, bool& value);

}  // namespace marivane::platform
