// The Windows handles the program owns, each given back exactly once, and the scopes that
// borrow a device context or select into one. Used by the platform and the windows alike.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "base/owned.h"

namespace marivane::platform {

// The GDI objects go back through DeleteObject, which takes any of them.
using TFontHandle = TOwned<HFONT, &DeleteObject>;
using TBitmapHandle = TOwned<HBITMAP, &DeleteObject>;
using TIconHandle = TOwned<HICON, &DestroyIcon>;
using TMetafileHandle = TOwned<HENHMETAFILE, &DeleteEnhMetaFile>;
using TMemoryDC = TOwned<HDC, &DeleteDC>;
// A kernel handle (file, process, thread, token): empty both for null and for CreateFileA's
// failure value, INVALID_HANDLE_VALUE, so whatever a call returned can be wrapped as it is.
using TFileHandle = TOwned<HANDLE, &CloseHandle, TNullOrAllOnes<HANDLE>>;
// A FindFirstFile search, ended with FindClose; INVALID_HANDLE_VALUE is how a search fails.
using TSearchHandle = TOwned<HANDLE, &FindClose, TNullOrAllOnes<HANDLE>>;
// A dropped file list: the shell's memory goes back with DragFinish.
using TDropHandle = TOwned<HDROP, &DragFinish>;

// A COM interface, given back with Release.
template <typename TInterface>
void ReleaseInterface(TInterface* object) {
  object->Release();
}
template <typename TInterface>
using TComPointer = TOwned<TInterface*, &ReleaseInterface<TInterface>>;

// A window's device context from GetDC, handed back with ReleaseDC; null for the screen's.
class TWindowDC : TNonCopyable {
 public:
  explicit TWindowDC(HWND window = nullptr) : window_(window), dc_(GetDC(window)) {}
  ~TWindowDC() { ReleaseDC(window_, dc_); }
  HDC Get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// BeginPaint / EndPaint for one WM_PAINT.
class TPaintScope : TNonCopyable {
 public:
  explicit TPaintScope(HWND window) : window_(window) { dc_ = BeginPaint(window, &paint_); }
  ~TPaintScope() { EndPaint(window_, &paint_); }
  HDC Get() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_;
};

// Selects an object into a device context and puts the previous one back.
class TSelectObject : TNonCopyable {
 public:
  TSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~TSelectObject() { SelectObject(dc_, previous_); }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

}  // namespace marivane::platform
