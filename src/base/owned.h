// Owners for what the system hands out and wants back exactly once: a handle, a descriptor, a
// selection into a device context. None can be copied, since the copy would give it back a
// second time; a TOwned can be moved. Portable, and below every layer that owns a handle: the
// POSIX side owns its descriptors this way, platform/win32_handles.h names the Windows handles,
// and the imaging library's Win32 shim owns its files with it.
#pragma once

#include <cstdint>
#include <utility>

namespace marivane {

// A base for a class whose destructor undoes something (ends a painting, enables windows).
class TNonCopyable {
 public:
  TNonCopyable(const TNonCopyable&) = delete;
  TNonCopyable& operator=(const TNonCopyable&) = delete;

 protected:
  TNonCopyable() = default;
  ~TNonCopyable() = default;
};

// What owns nothing: None() is the value an empty owner holds, IsNone() knows every value the
// system hands out to mean "none". Null for most handles; -1 for a POSIX descriptor, where 0 is
// a real one.
template <typename THandle, THandle kNone = THandle{}>
struct TNoneIs {
  static constexpr THandle None() { return kNone; }
  static constexpr bool IsNone(THandle handle) { return handle == kNone; }
};

// A Win32 kernel handle: CreateFile and FindFirstFile fail with INVALID_HANDLE_VALUE (all bits
// set), most other calls with null, and neither may go to CloseHandle. (The same all-ones
// value is GetCurrentProcess()'s pseudo-handle, which is never owned.) It is spelled here
// without <windows.h>, which this layer never sees.
template <typename THandle>
struct TNullOrAllOnes {
  static constexpr THandle None() { return THandle{}; }
  static bool IsNone(THandle handle) {
    return handle == THandle{} || handle == reinterpret_cast<THandle>(~std::uintptr_t{0});
  }
};

// Owns one handle and gives it back with kRelease; TNone says which values own nothing.
template <typename THandle, auto kRelease, typename TNone = TNoneIs<THandle>>
class TOwned : TNonCopyable {
 public:
  TOwned() = default;
  explicit TOwned(THandle handle) : handle_(handle) {}
  ~TOwned() { Reset(); }
  TOwned(TOwned&& other) noexcept : handle_(other.Detach()) {}
  TOwned& operator=(TOwned&& other) noexcept {
    if (this != &other) Reset(other.Detach());
    return *this;
  }

  THandle Get() const { return handle_; }
  explicit operator bool() const { return !TNone::IsNone(handle_); }
  // Gives back the handle owned so far and owns `handle` instead.
  void Reset(THandle handle = TNone::None()) {
    if (!TNone::IsNone(handle_)) kRelease(handle_);
    handle_ = handle;
  }
  // Hands the handle over without giving it back, for a caller that wants the result of
  // giving it back itself.
  THandle Detach() { return std::exchange(handle_, TNone::None()); }

 private:
  THandle handle_ = TNone::None();
};

}  // namespace marivane
