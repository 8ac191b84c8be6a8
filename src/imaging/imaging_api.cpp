#include "imaging/imaging_api.h"

#include <chrono>
#include <mutex>
#include <new>
#include <optional>
#include <random>
#include <set>
#include <string>

#include "imaging/file_system.h"
#include "imaging/last_error.h"
#include "imaging/wim_writer.h"

namespace imaging {

namespace {

constexpr TDword kWimCreatedNew = 0;  // WIM_CREATED_NEW, reported through creation_result
// FILETIME of the Unix epoch, for turning the system clock into Windows time.
constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ull;

// --- Handles ---
// Handles are pointers to these objects; every call checks them against the live set first,
// so a stale or foreign handle gives ERROR_INVALID_HANDLE instead of a crash.

struct THandleObject {
  virtual ~THandleObject() = default;
};

struct TWimObject final : THandleObject {
  std::unique_ptr<TWimWriter> writer;
};

struct TImageObject final : THandleObject {
  unsigned index = 0;
};

std::mutex g_mutex;
std::set<THandleObject*> g_handles;
std::optional<TWimIdentity> g_fixed_identity;

THandle RegisterHandle(std::unique_ptr<THandleObject> object) {
  std::lock_guard lock(g_mutex);
  THandleObject* raw = object.release();
  g_handles.insert(raw);
  return raw;
}

template <typename T>
T* Lookup(THandle h) {
  std::lock_guard lock(g_mutex);
  auto it = g_handles.find(static_cast<THandleObject*>(h));
  if (it == g_handles.end()) return nullptr;
  return dynamic_cast<T*>(*it);
}

std::unique_ptr<THandleObject> UnregisterHandle(THandle h) {
  std::lock_guard lock(g_mutex);
  auto it = g_handles.find(static_cast<THandleObject*>(h));
  if (it == g_handles.end()) return nullptr;
  std::unique_ptr<THandleObject> owned(*it);
  g_handles.erase(it);
  return owned;
}

TWimIdentity CurrentIdentity() {
  {
    std::lock_guard lock(g_mutex);
    if (g_fixed_identity) return *g_fixed_identity;
  }
  TWimIdentity id;
  std::random_device rd;
  for (std::size_t i = 0; i < id.guid.size(); i += 4) {
    const std::uint32_t r = rd();
    for (std::size_t k = 0; k < 4; ++k) id.guid[i + k] = std::uint8_t(r >> (8 * k));
  }
  const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  const auto ticks = std::chrono::duration_cast<std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>>(since_epoch);
  id.time = kUnixEpochAsFileTime + std::uint64_t(ticks.count());
  return id;
}

std::u16string PathString(TWidePath p) { return std::u16string(p); }

template <typename R>
R Fail(TDword error, R value) {
  SetLastError(error);
  return value;
}

// No exception may leave an exported function; the caller may not even be C++.
template <typename R, typename F>
R Guarded(R failure, F&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return Fail(kErrorNotEnoughMemory, failure);
  } catch (...) {
    return Fail(kErrorInvalidParameter, failure);
  }
}

// --- Capture ---

TDword CaptureFolder(TWimWriter& writer, const std::u16string& path, TImageNode& dir) {
  std::vector<TDirectoryItem> items;
  if (TDword e = fs::ListFolder(path, items)) return e;
  dir.children.reserve(items.size());
  std::vector<std::uint8_t> data;
  for (TDirectoryItem& item : items) {
    TImageNode node;
    node.name = std::move(item.name);
    node.info = item.info;
    const std::u16string child_path = fs::JoinPath(path, node.name);
    if (node.info.is_directory) {
      if (TDword e = CaptureFolder(writer, child_path, node)) return e;
    } else {
      if (TDword e = fs::ReadWholeFile(child_path, data)) return e;
      node.info.size = data.size();  // what was actually read, should the file have changed
      if (TDword e = writer.AddBlob(data, node.hash)) return e;
    }
    dir.children.push_back(std::move(node));
  }
  return kErrorSuccess;
}

// Takes the arguments only so that the definitions made from the list use every parameter.
template <typename R, typename... Arguments>
R NotImplemented(const Arguments&...) {
  SetLastError(kErrorCallNotImplemented);
  return R{};
}

}  // namespace

THandle WIMAPI WIMCreateFile(TWidePath path, TDword desired_access, TDword creation_disposition,
                             TDword /*flags_and_attributes*/, TDword compression_type, TDword* creation_result) {
  return Guarded<THandle>(nullptr, [&]() -> THandle {
    if (!path || !*path) return Fail<THandle>(kErrorInvalidParameter, nullptr);
    TWimCompression compression;
    switch (compression_type) {
      case wimgapi::kCompressNone: compression = TWimCompression::kNone; break;
      case wimgapi::kCompressLzx: compression = TWimCompression::kLzx; break;
      default: return Fail<THandle>(kErrorInvalidParameter, nullptr);  // XPRESS and unknown types
    }
    fs::TDisposition disposition;
    switch (creation_disposition) {
      case wimgapi::kCreateNew: disposition = fs::TDisposition::kCreateNew; break;
      case wimgapi::kCreateAlways: disposition = fs::TDisposition::kCreateAlways; break;
      // Reading or appending to an existing archive is not something this library does.
      case wimgapi::kOpenExisting:
      case wimgapi::kOpenAlways: return Fail<THandle>(kErrorCallNotImplemented, nullptr);
      default: return Fail<THandle>(kErrorInvalidParameter, nullptr);
    }
    if ((desired_access & wimgapi::kGenericWrite) == 0) return Fail<THandle>(kErrorAccessDenied, nullptr);

    std::unique_ptr<fs::TOutputFile> file;
    if (TDword e = fs::CreateOutputFile(PathString(path), disposition, file)) return Fail<THandle>(e, nullptr);
    auto wim = std::make_unique<TWimObject>();
    wim->writer = std::make_unique<TWimWriter>(std::move(file), compression, CurrentIdentity());
    if (TDword e = wim->writer->Begin()) return Fail<THandle>(e, nullptr);  // the writer deletes the file
    if (creation_result) *creation_result = kWimCreatedNew;
    SetLastError(kErrorSuccess);
    return RegisterHandle(std::move(wim));
  });
}

TBool WIMAPI WIMCloseHandle(THandle handle) {
  return Guarded<TBool>(0, [&]() -> TBool {
    std::unique_ptr<THandleObject> object = UnregisterHandle(handle);
    if (!object) return Fail<TBool>(kErrorInvalidHandle, 0);
    if (auto* wim = dynamic_cast<TWimObject*>(object.get())) {
      if (TDword e = wim->writer->Finish()) return Fail<TBool>(e, 0);
    }
    SetLastError(kErrorSuccess);
    return 1;
  });
}

THandle WIMAPI WIMCaptureImage(THandle wim_handle, TWidePath path, TDword /*capture_flags*/) {
  return Guarded<THandle>(nullptr, [&]() -> THandle {
    TWimObject* wim = Lookup<TWimObject>(wim_handle);
    if (!wim) return Fail<THandle>(kErrorInvalidHandle, nullptr);
    if (!path || !*path) return Fail<THandle>(kErrorInvalidParameter, nullptr);
    const std::u16string root_path = PathString(path);
    TImageNode root;
    if (TDword e = fs::QueryInfo(root_path, root.info))
      return Fail<THandle>(e == kErrorFileNotFound ? kErrorPathNotFound : e, nullptr);
    if (!root.info.is_directory) return Fail<THandle>(kErrorDirectory, nullptr);

    TWimWriter& writer = *wim->writer;
    const TWimWriter::TCheckpoint checkpoint = writer.Checkpoint();
    TDword e;
    try {
      e = CaptureFolder(writer, root_path, root);
    } catch (...) {
      writer.Rollback(checkpoint);
      throw;
    }
    if (e != kErrorSuccess) {
      writer.Rollback(checkpoint);
      return Fail<THandle>(e, nullptr);
    }
    auto image = std::make_unique<TImageObject>();
    image->index = writer.AddImage(std::move(root));
    SetLastError(kErrorSuccess);
    return RegisterHandle(std::move(image));
  });
}

TBool WIMAPI WIMSetBootImage(THandle wim_handle, TDword image_index) {
  return Guarded<TBool>(0, [&]() -> TBool {
    TWimObject* wim = Lookup<TWimObject>(wim_handle);
    if (!wim) return Fail<TBool>(kErrorInvalidHandle, 0);
    if (TDword e = wim->writer->SetBootIndex(image_index)) return Fail<TBool>(e, 0);
    SetLastError(kErrorSuccess);
    return 1;
  });
}

// The calls marked NOT_IMPLEMENTED in MARIVANE_WIMGAPI_ENTRY_POINTS; the others are above.
#define MARIVANE_IMAGING_DEFINE_IMPLEMENTED(function, result, parameters, arguments)
#define MARIVANE_IMAGING_DEFINE_NOT_IMPLEMENTED(function, result, parameters, arguments) \
  result WIMAPI function parameters { return NotImplemented<result> arguments; }
#define MARIVANE_IMAGING_DEFINE(name, result, parameters, arguments, kind) \
  MARIVANE_IMAGING_DEFINE_##kind(WIM##name, result, parameters, arguments)
MARIVANE_WIMGAPI_ENTRY_POINTS(MARIVANE_IMAGING_DEFINE)
#undef MARIVANE_IMAGING_DEFINE
#undef MARIVANE_IMAGING_DEFINE_NOT_IMPLEMENTED
#undef MARIVANE_IMAGING_DEFINE_IMPLEMENTED

void SetFixedIdentity(const std::array<std::uint8_t, 16>& guid, std::uint64_t filetime) {
  std::lock_guard lock(g_mutex);
  g_fixed_identity = TWimIdentity{guid, filetime};
}

void ClearFixedIdentity() {
  std::lock_guard lock(g_mutex);
  g_fixed_identity.reset();
}

}  // namespace imaging
