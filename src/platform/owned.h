// Owners for what the system hands out and wants back exactly once: a handle, a descriptor, a
// selection into a device context. None can be copied, since the copy would give it back a
// second time; a TOwned can be moved. Portable: the POSIX side owns its descriptors this way,
// and win32_handles.h names the Windows handles.
#pragma once

#include <utility>

namespace marivane::platform {

// A base for a class whose destructor undoes something (ends a painting, enables windows).
class TNonCopyable {
 public:
  TNonCopyable(const TNonCopyable&) = delete;
  TNonCopyable& operator=(const TNonCopyable&) = delete;

 protected:
  TNonCopyable() = default;
  ~TNonCopyable() = default;
};

// Owns one handle and gives it back with kRelease. kNone is the value that owns nothing: null
// for Windows handles, -1 for a POSIX descriptor, where 0 is a real one.
template <typename THandle, auto kRelease, THandle kNone = THandle{}>
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
  explicit operator bool() const { return handle_ != kNone; }
  // Gives back the handle owned so far and owns `handle` instead.
  void Reset(THandle handle = kNone) {
    if (handle_ != kNone) kRelease(handle_);
    handle_ = handle;
  }
  // Hands the handle over without giving it back, for a caller that wants the result of
  // giving it back itself.
  THandle Detach() { return std::exchange(handle_, kNone); }

 private:
  THandle handle_ = kNone;
};

}  // namespace marivane::platform
