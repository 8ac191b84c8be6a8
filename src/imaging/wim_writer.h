// Writes a WIM archive: file data as it is captured, then on finish each image's metadata,
// the blob table, the XML description and the final header.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "imaging/file_system.h"
#include "imaging/lzx_compressor.h"
#include "imaging/sha1.h"

namespace imaging {

enum class WimCompression { kNone, kLzx };

// What makes two otherwise equal archives differ; fixed in tests, random/now in production.
struct WimIdentity {
  std::array<std::uint8_t, 16> guid{};
  std::uint64_t time = 0;  // FILETIME of the capture, written into the XML
};

// One captured file or folder; a file's data must have gone through WimWriter::addBlob.
struct ImageNode {
  std::u16string name;  // empty for the root
  FileInfo info;
  Sha1Digest hash{};    // zero for folders and empty files
  std::vector<ImageNode> children;
};

struct ResourceHeader {
  std::uint64_t stored_size = 0;
  std::uint64_t offset = 0;
  std::uint64_t uncompressed_size = 0;
  std::uint8_t flags = 0;
};

class WimWriter {
 public:
  WimWriter(std::unique_ptr<fs::OutputFile> file, WimCompression compression,
            const WimIdentity& identity, const LzxTuning& tuning = {});
  ~WimWriter();
  WimWriter(const WimWriter&) = delete;
  WimWriter& operator=(const WimWriter&) = delete;

  Dword begin();

  // Undo point for a capture that fails half-way: blobs it added are forgotten and their
  // bytes overwritten by whatever comes next.
  struct Checkpoint {
    std::size_t blob_count;
    std::uint64_t end;
  };
  Checkpoint checkpoint() const { return {blobs_.size(), end_}; }
  void rollback(const Checkpoint& cp);

  // Stores a file's bytes unless a blob with the same SHA-1 is already there.
  Dword addBlob(std::span<const std::uint8_t> data, Sha1Digest& hash);
  // Takes over a captured tree; returns the new image's 1-based index.
  unsigned addImage(ImageNode root);
  Dword setBootIndex(unsigned index);
  // Completes the archive and closes the file; on failure the file is deleted.
  Dword finish();
  // Closes and deletes an archive that will not be completed.
  void abandon();

 private:
  struct Blob {
    ResourceHeader resource;
    Sha1Digest hash;
    std::uint32_t refs = 0;
  };
  struct Image {
    ImageNode root;
    ResourceHeader metadata;
    Sha1Digest metadata_hash{};
    std::uint64_t dir_count = 0, file_count = 0, total_bytes = 0;
  };

  Dword writeResource(std::span<const std::uint8_t> data, std::uint8_t base_flags,
                      ResourceHeader& res);
  Dword finishUnchecked();

  std::unique_ptr<fs::OutputFile> file_;
  WimCompression compression_;
  WimIdentity identity_;
  LzxCompressor lzx_;
  std::vector<Blob> blobs_;
  std::map<Sha1Digest, std::size_t> blob_index_;
  std::vector<Image> images_;
  unsigned boot_index_ = 0;
  std::uint64_t end_ = 0;
};

}  // namespace imaging
