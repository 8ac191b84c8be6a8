// Writes a WIM archive: file data as it is captured, then on finish each image's metadata,
// the blob table, the XML description and the final header.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "imaging/file_system.h"
#include "imaging/lzx_compressor.h"
#include "imaging/sha1.h"
#include "imaging/wim_format.h"

namespace imaging {

enum class TWimCompression { kNone, kLzx };

// The archive's GUID and the time its XML gives each image. Without one the writer derives
// both from what it holds (see Finish), so the same files give the same bytes.
struct TWimIdentity {
  std::array<std::uint8_t, 16> guid{};
  std::uint64_t time = 0;  // FILETIME
};

// One captured file or folder; a file's data must have gone through TWimWriter::AddBlob.
struct TImageNode {
  std::u16string name;  // empty for the root
  TFileInfo info;
  TSha1Digest hash{};   // zero for folders and empty files
  std::vector<TImageNode> children;
};

// Orders folder entries the way Windows lists them: case-insensitively, then by code unit.
bool LessWimName(const std::u16string& a, const std::u16string& b);

class TWimWriter {
 public:
  TWimWriter(std::unique_ptr<fs::TOutputFile> file, TWimCompression compression,
             const std::optional<TWimIdentity>& identity, const TLzxTuning& tuning = {});
  ~TWimWriter();
  TWimWriter(const TWimWriter&) = delete;
  TWimWriter& operator=(const TWimWriter&) = delete;

  TDword Begin();

  // Undo point for a capture that fails half-way: blobs it added are forgotten and their
  // bytes overwritten by whatever comes next.
  struct TCheckpoint {
    std::size_t blob_count;
    std::uint64_t end;
  };
  TCheckpoint Checkpoint() const { return {blobs_.size(), end_}; }
  void Rollback(const TCheckpoint& cp);

  // Stores a file's bytes unless a blob with the same SHA-1 is already there.
  TDword AddBlob(std::span<const std::uint8_t> data, TSha1Digest& hash);
  // Takes over a captured tree; returns the new image's 1-based index.
  unsigned AddImage(TImageNode root);
  unsigned ImageCount() const { return unsigned(images_.size()); }
  TDword SetBootIndex(unsigned index);
  // Completes the archive and closes the file; on failure the file is deleted. Without a fixed
  // identity the XML dates each image by its root's last-write time and the GUID is the start
  // of the SHA-1 of the blob table, which names every image's metadata and every blob.
  TDword Finish();
  // Closes and deletes an archive that will not be completed.
  void Abandon();

 private:
  struct TBlob {
    TResourceHeader resource;
    TSha1Digest hash;
    std::uint32_t refs = 0;
  };
  struct TImage {
    TImageNode root;
    TResourceHeader metadata;
    TSha1Digest metadata_hash{};
    std::uint64_t dir_count = 0, file_count = 0, total_bytes = 0;
  };

  // A resource's chunks as compressed, or nothing where it is stored as it is.
  struct TPacked {
    std::vector<std::uint8_t> bytes;
    std::vector<std::size_t> chunk_ends;
  };
  void PackResource(std::span<const std::uint8_t> data, TPacked& packed);
  TDword StoreResource(std::span<const std::uint8_t> data, const TPacked& packed, std::uint8_t base_flags,
                       TResourceHeader& res);
  TDword WriteResource(std::span<const std::uint8_t> data, std::uint8_t base_flags,
                       TResourceHeader& res);
  TDword FinishUnchecked();
  std::vector<std::uint8_t> BlobTable() const;
  // The XML description of an archive whose XML is written at `at`.
  std::vector<std::uint8_t> XmlDescription(std::uint64_t at) const;
  TDword WriteAsItIs(const std::vector<std::uint8_t>& bytes, TResourceHeader& res);

  std::unique_ptr<fs::TOutputFile> file_;
  TWimCompression compression_;
  std::optional<TWimIdentity> identity_;
  TLzxResourceCompressor lzx_;
  std::vector<TBlob> blobs_;
  std::map<TSha1Digest, std::size_t> blob_index_;
  std::vector<TImage> images_;
  unsigned boot_index_ = 0;
  std::uint64_t end_ = 0;
};

}  // namespace imaging
