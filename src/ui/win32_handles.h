// Owners for the system handles the windows use; each releases its handle exactly once and
// cannot be copied.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <utility>

namespace marivane::ui {

template <typename Handle, auto Release>
class TOwned {
 public:
  TOwned() = default;
  explicit TOwned(Handle handle) : handle_(handle) {}
  ~TOwned() { reset(); }
  TOwned(const TOwned&) = delete;
  TOwned& operator=(const TOwned&) = delete;
  TOwned(TOwned&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
  TOwned& operator=(TOwned&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, Handle{});
    }
    return *this;
  }
  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Handle{}; }
  void reset(Handle handle = Handle{}) {
    if (handle_ != Handle{}) Release(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_{};
};

inline void DeleteFontObject(HFONT font) { DeleteObject(font); }
inline void DeleteBitmapObject(HBITMAP bitmap) { DeleteObject(bitmap); }
inline void DestroyIconHandle(HICON icon) { DestroyIcon(icon); }
inline void DeleteMemoryDC(HDC dc) { DeleteDC(dc); }

using TFontHandle = TOwned<HFONT, &DeleteFontObject>;
using TBitmapHandle = TOwned<HBITMAP, &DeleteBitmapObject>;
using TIconHandle = TOwned<HICON, &DestroyIconHandle>;
using TMemoryDC = TOwned<HDC, &DeleteMemoryDC>;
// A dropped file list: the shell's memory goes back with DragFinish.
using TDropHandle = TOwned<HDROP, &DragFinish>;

// A window's device context from GetDC, handed back with ReleaseDC.
class TWindowDC {
 public:
  explicit TWindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~TWindowDC() { ReleaseDC(window_, dc_); }
  TWindowDC(const TWindowDC&) = delete;
  TWindowDC& operator=(const TWindowDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// BeginPaint / EndPaint for one WM_PAINT.
class TPaintScope {
 public:
  explicit TPaintScope(HWND window) : window_(window) { dc_ = BeginPaint(window, &paint_); }
  ~TPaintScope() { EndPaint(window_, &paint_); }
  TPaintScope(const TPaintScope&) = delete;
  TPaintScope& operator=(const TPaintScope&) = delete;
  HDC dc() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_;
};

// Selects an object into a device context and puts the previous one back.
class TSelectObject {
 public:
  TSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~TSelectObject() { SelectObject(dc_, previous_); }
  TSelectObject(const TSelectObject&) = delete;
  TSelectObject& operator=(const TSelectObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

}  // namespace marivane::ui
