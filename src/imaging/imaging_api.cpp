#include "imaging/imaging_api.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <string>

#include "imaging/file_system.h"
#include "imaging/last_error.h"
#include "imaging/wim_writer.h"

namespace imaging {

namespace {

constexpr TDword kWimCreatedNew = 0;  // WIM_CREATED_NEW, reported through creation_result

// --- Handles ---
// Handles are pointers to these objects; every call checks them against the live set first,
// so a stale or foreign handle gives ERROR_INVALID_HANDLE instead of a crash.

struct THandleObject {
  virtual ~THandleObject() = default;
};

struct TWimObject final : THandleObject {
  std::unique_ptr<TWimWriter> writer;
  // Closing an archive that holds no image because its capture failed deletes it: an empty
  // archive left at the path would pass for the capture's result.
  bool capture_failed = false;
};

struct TImageObject final : THandleObject {
  unsigned index = 0;
};

std::mutex handles_mutex;
std::set<THandleObject*> handles;

THandle RegisterHandle(std::unique_ptr<THandleObject> object) {
  std::lock_guard lock(handles_mutex);
  THandleObject* raw = object.release();
  handles.insert(raw);
  return raw;
}

template <typename T>
T* Lookup(THandle h) {
  std::lock_guard lock(handles_mutex);
  auto it = handles.find(static_cast<THandleObject*>(h));
  if (it == handles.end()) return nullptr;
  return dynamic_cast<T*>(*it);
}

std::unique_ptr<THandleObject> UnregisterHandle(THandle h) {
  std::lock_guard lock(handles_mutex);
  auto it = handles.find(static_cast<THandleObject*>(h));
  if (it == handles.end()) return nullptr;
  std::unique_ptr<THandleObject> owned(*it);
  handles.erase(it);
  return owned;
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

// Every time the archive stores is a last-write time, so the same files give the same bytes
// on every run: the clock changes each run, a file's access time each time anyone reads it, and
// a POSIX system has no creation time to give.
void SetTimes(TFileInfo& info, std::uint64_t time) {
  info.creation_time = time;
  info.last_access_time = time;
  info.last_write_time = time;
}

// `ancestors` holds the folders being walked, the root first. A link back to one of them would
// be walked for ever, so it fails the capture. Identities rather than paths: the link may be
// anywhere and spelt any way, and a bind mount makes a loop without any link.
TDword CaptureFolder(TWimWriter& writer, const std::u16string& path, TImageNode& dir,
                     std::vector<TFileId>& ancestors) {
  TFolderListing listing;
  if (TDword e = fs::ListFolder(path, listing)) return e;
  if (std::find(ancestors.begin(), ancestors.end(), listing.id) != ancestors.end())
    return kErrorCantResolveFilename;
  ancestors.push_back(listing.id);
  // Blobs go into the archive in the order the files are read. The file system's order depends
  // on the file system and on the order the files were made; the archive's own does not.
  std::sort(listing.items.begin(), listing.items.end(),
            [](const TDirectoryItem& a, const TDirectoryItem& b) { return LessWimName(a.name, b.name); });
  dir.children.reserve(listing.items.size());
  // A folder is as new as the newest thing in it; an empty one keeps its own time.
  std::uint64_t newest = listing.items.empty() ? listing.last_write_time : 0;
  std::vector<std::uint8_t> data;
  for (TDirectoryItem& item : listing.items) {
    TImageNode node;
    node.name = std::move(item.name);
    node.info = item.info;
    const std::u16string child_path = fs::JoinPath(path, node.name);
    if (node.info.is_directory) {
      if (TDword e = CaptureFolder(writer, child_path, node, ancestors)) return e;
    } else {
      std::uint64_t write_time = 0;
      if (TDword e = fs::ReadWholeFile(child_path, data, write_time)) return e;
      node.info.size = data.size();  // what was actually read, should the file have changed
      SetTimes(node.info, write_time);
      if (TDword e = writer.AddBlob(data, node.hash)) return e;
    }
    newest = std::max(newest, node.info.last_write_time);
    dir.children.push_back(std::move(node));
  }
  ancestors.pop_back();
  SetTimes(dir.info, newest);
  return kErrorSuccess;
}

// Takes the arguments only so that the definitions made from the list use every parameter.
template <typename R, typename... Arguments>
R NotImplemented(const Arguments&...) {
  SetLastError(kErrorCallNotImplemented);
  return R{};
}

}  // namespace

namespace {

// WIMCreateFile, with the identity every archive derives from its files unless one is given.
THandle CreateArchive(TWidePath path, TDword desired_access, TDword creation_disposition, TDword compression_type,
                      TDword* creation_result, const std::optional<TWimIdentity>& identity) {
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
    wim->writer = std::make_unique<TWimWriter>(std::move(file), compression, identity);
    if (TDword e = wim->writer->Begin()) return Fail<THandle>(e, nullptr);  // the writer deletes the file
    if (creation_result) *creation_result = kWimCreatedNew;
    SetLastError(kErrorSuccess);
    return RegisterHandle(std::move(wim));
  });
}

}  // namespace

THandle WIMAPI WIMCreateFile(TWidePath path, TDword desired_access, TDword creation_disposition,
                             TDword /*flags_and_attributes*/, TDword compression_type, TDword* creation_result) {
  return CreateArchive(path, desired_access, creation_disposition, compression_type, creation_result, std::nullopt);
}

THandle CreateFileWithIdentity(TWidePath path, TDword desired_access, TDword creation_disposition,
                               TDword compression_type, TDword* creation_result,
                               const std::array<std::uint8_t, 16>& guid, std::uint64_t filetime) {
  return CreateArchive(path, desired_access, creation_disposition, compression_type, creation_result,
                       TWimIdentity{guid, filetime});
}

TBool WIMAPI WIMCloseHandle(THandle handle) {
  return Guarded<TBool>(0, [&]() -> TBool {
    std::unique_ptr<THandleObject> object = UnregisterHandle(handle);
    if (!object) return Fail<TBool>(kErrorInvalidHandle, 0);
    if (auto* wim = dynamic_cast<TWimObject*>(object.get())) {
      if (wim->capture_failed && wim->writer->ImageCount() == 0)
        wim->writer->Abandon();
      else if (TDword e = wim->writer->Finish())
        return Fail<TBool>(e, 0);
    }
    SetLastError(kErrorSuccess);
    return 1;
  });
}

THandle WIMAPI WIMCaptureImage(THandle wim_handle, TWidePath path, TDword /*capture_flags*/) {
  return Guarded<THandle>(nullptr, [&]() -> THandle {
    TWimObject* wim = Lookup<TWimObject>(wim_handle);
    if (!wim) return Fail<THandle>(kErrorInvalidHandle, nullptr);
    // Cleared again only by returning an image.
    wim->capture_failed = true;
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
      std::vector<TFileId> ancestors;
      e = CaptureFolder(writer, root_path, root, ancestors);
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
    wim->capture_failed = false;
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

}  // namespace imaging
