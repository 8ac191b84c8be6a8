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

constexpr Dword kWimCreatedNew = 0;  // WIM_CREATED_NEW, reported through creation_result
// FILETIME of the Unix epoch, for turning the system clock into Windows time.
constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ull;

// --- Handles ---
// Handles are pointers to these objects; every call checks them against the live set first,
// so a stale or foreign handle gives ERROR_INVALID_HANDLE instead of a crash.

struct HandleObject {
  virtual ~HandleObject() = default;
};

struct WimObject final : HandleObject {
  std::unique_ptr<WimWriter> writer;
};

struct ImageObject final : HandleObject {
  unsigned index = 0;
};

std::mutex g_mutex;
std::set<HandleObject*> g_handles;
std::optional<WimIdentity> g_fixed_identity;

Handle registerHandle(std::unique_ptr<HandleObject> object) {
  std::lock_guard lock(g_mutex);
  HandleObject* raw = object.release();
  g_handles.insert(raw);
  return raw;
}

template <typename T>
T* lookup(Handle h) {
  std::lock_guard lock(g_mutex);
  auto it = g_handles.find(static_cast<HandleObject*>(h));
  if (it == g_handles.end()) return nullptr;
  return dynamic_cast<T*>(*it);
}

std::unique_ptr<HandleObject> unregisterHandle(Handle h) {
  std::lock_guard lock(g_mutex);
  auto it = g_handles.find(static_cast<HandleObject*>(h));
  if (it == g_handles.end()) return nullptr;
  std::unique_ptr<HandleObject> owned(*it);
  g_handles.erase(it);
  return owned;
}

WimIdentity currentIdentity() {
  {
    std::lock_guard lock(g_mutex);
    if (g_fixed_identity) return *g_fixed_identity;
  }
  WimIdentity id;
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

std::u16string pathString(WidePath p) { return std::u16string(p); }

template <typename R>
R fail(Dword error, R value) {
  setLastError(error);
  return value;
}

// No exception may leave an exported function; the caller may not even be C++.
template <typename R, typename F>
R guarded(R failure, F&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return fail(kErrorNotEnoughMemory, failure);
  } catch (...) {
    return fail(kErrorInvalidParameter, failure);
  }
}

// --- Capture ---

Dword captureFolder(WimWriter& writer, const std::u16string& path, ImageNode& dir) {
  std::vector<DirectoryItem> items;
  if (Dword e = fs::listFolder(path, items)) return e;
  dir.children.reserve(items.size());
  std::vector<std::uint8_t> data;
  for (DirectoryItem& item : items) {
    ImageNode node;
    node.name = std::move(item.name);
    node.info = item.info;
    const std::u16string child_path = fs::joinPath(path, node.name);
    if (node.info.is_directory) {
      if (Dword e = captureFolder(writer, child_path, node)) return e;
    } else {
      if (Dword e = fs::readWholeFile(child_path, data)) return e;
      node.info.size = data.size();  // what was actually read, should the file have changed
      if (Dword e = writer.addBlob(data, node.hash)) return e;
    }
    dir.children.push_back(std::move(node));
  }
  return kErrorSuccess;
}

// Takes the arguments only so that the definitions made from the list use every parameter.
template <typename R, typename... Arguments>
R NotImplemented(const Arguments&...) {
  setLastError(kErrorCallNotImplemented);
  return R{};
}

}  // namespace

Handle WIMAPI WIMCreateFile(WidePath path, Dword desired_access, Dword creation_disposition,
                            Dword /*flags_and_attributes*/, Dword compression_type, Dword* creation_result) {
  return guarded<Handle>(nullptr, [&]() -> Handle {
    if (!path || !*path) return fail<Handle>(kErrorInvalidParameter, nullptr);
    WimCompression compression;
    switch (compression_type) {
      case wimgapi::kCompressNone: compression = WimCompression::kNone; break;
      case wimgapi::kCompressLzx: compression = WimCompression::kLzx; break;
      default: return fail<Handle>(kErrorInvalidParameter, nullptr);  // XPRESS and unknown types
    }
    fs::Disposition disposition;
    switch (creation_disposition) {
      case wimgapi::kCreateNew: disposition = fs::Disposition::kCreateNew; break;
      case wimgapi::kCreateAlways: disposition = fs::Disposition::kCreateAlways; break;
      // Reading or appending to an existing archive is not something this library does.
      case wimgapi::kOpenExisting:
      case wimgapi::kOpenAlways: return fail<Handle>(kErrorCallNotImplemented, nullptr);
      default: return fail<Handle>(kErrorInvalidParameter, nullptr);
    }
    if ((desired_access & wimgapi::kGenericWrite) == 0) return fail<Handle>(kErrorAccessDenied, nullptr);

    std::unique_ptr<fs::OutputFile> file;
    if (Dword e = fs::createOutputFile(pathString(path), disposition, file)) return fail<Handle>(e, nullptr);
    auto wim = std::make_unique<WimObject>();
    wim->writer = std::make_unique<WimWriter>(std::move(file), compression, currentIdentity());
    if (Dword e = wim->writer->begin()) return fail<Handle>(e, nullptr);  // the writer deletes the file
    if (creation_result) *creation_result = kWimCreatedNew;
    setLastError(kErrorSuccess);
    return registerHandle(std::move(wim));
  });
}

Bool WIMAPI WIMCloseHandle(Handle handle) {
  return guarded<Bool>(0, [&]() -> Bool {
    std::unique_ptr<HandleObject> object = unregisterHandle(handle);
    if (!object) return fail<Bool>(kErrorInvalidHandle, 0);
    if (auto* wim = dynamic_cast<WimObject*>(object.get())) {
      if (Dword e = wim->writer->finish()) return fail<Bool>(e, 0);
    }
    setLastError(kErrorSuccess);
    return 1;
  });
}

Handle WIMAPI WIMCaptureImage(Handle wim_handle, WidePath path, Dword /*capture_flags*/) {
  return guarded<Handle>(nullptr, [&]() -> Handle {
    WimObject* wim = lookup<WimObject>(wim_handle);
    if (!wim) return fail<Handle>(kErrorInvalidHandle, nullptr);
    if (!path || !*path) return fail<Handle>(kErrorInvalidParameter, nullptr);
    const std::u16string root_path = pathString(path);
    ImageNode root;
    if (Dword e = fs::queryInfo(root_path, root.info))
      return fail<Handle>(e == kErrorFileNotFound ? kErrorPathNotFound : e, nullptr);
    if (!root.info.is_directory) return fail<Handle>(kErrorDirectory, nullptr);

    WimWriter& writer = *wim->writer;
    const WimWriter::Checkpoint checkpoint = writer.checkpoint();
    Dword e;
    try {
      e = captureFolder(writer, root_path, root);
    } catch (...) {
      writer.rollback(checkpoint);
      throw;
    }
    if (e != kErrorSuccess) {
      writer.rollback(checkpoint);
      return fail<Handle>(e, nullptr);
    }
    auto image = std::make_unique<ImageObject>();
    image->index = writer.addImage(std::move(root));
    setLastError(kErrorSuccess);
    return registerHandle(std::move(image));
  });
}

Bool WIMAPI WIMSetBootImage(Handle wim_handle, Dword image_index) {
  return guarded<Bool>(0, [&]() -> Bool {
    WimObject* wim = lookup<WimObject>(wim_handle);
    if (!wim) return fail<Bool>(kErrorInvalidHandle, 0);
    if (Dword e = wim->writer->setBootIndex(image_index)) return fail<Bool>(e, 0);
    setLastError(kErrorSuccess);
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
  g_fixed_identity = WimIdentity{guid, filetime};
}

void ClearFixedIdentity() {
  std::lock_guard lock(g_mutex);
  g_fixed_identity.reset();
}

}  // namespace imaging
