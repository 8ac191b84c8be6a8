// Reads a WIM archive held in memory: its header, its table of contents (the blob table), the
// list of files of each image (the metadata resource) and any file's data, stored as it is or
// compressed with XPRESS or LZX, checked against its SHA-1. Every byte of the archive is read
// through a bounds-checked reader and every size is capped before memory is taken for it, so a
// damaged or hostile archive ends in an EWimError, never in a crash, a hang or a huge
// allocation. LZMS, solid (ESD), split, encrypted and pipable archives are refused as not
// supported.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/errors.h"
#include "imaging/sha1.h"
#include "imaging/wim_format.h"

namespace imaging {

// The largest archive read. Ours fill at most the 3,799,408-byte slot of our own files, but
// archives from elsewhere do not keep to it: an uncompressed one of the two pictures is
// 3,800,960 bytes. The archive is read where it lies in memory, nothing is allocated for it as
// a whole, and each resource is capped below; this only keeps a forged table of contents from
// sending the reader over more than a language file can hold.
constexpr std::uint64_t kMaxWimBytes = 64u << 20;
// The most any one resource (a file's data, an image's list of files) may expand to: a boot
// screen picture is 2,359,350 bytes, and a 1024 x 768 bitmap of any depth stays far below.
constexpr std::uint64_t kMaxWimResourceBytes = 16u << 20;
// Directory entries over all images, and folders inside folders: far beyond any boot screen
// archive (three entries, one level), and low enough that a forged list costs a moment.
constexpr std::size_t kMaxWimEntries = 65536;
constexpr unsigned kMaxWimDepth = 64;

enum class TWimFault {
  kDamaged,       // the archive breaks the format, or its data does not match its checksums
  kNotSupported,  // a sound archive of a kind this library does not read, or too large
};

// What is wrong, in two parts: problem() in a user's words, without a closing full stop ("The
// data of osload800x600.bmp is damaged"), and detail() with the bytes concerned: where, which
// field, which value ("chunk 3 of 73 at 0x6F2A: a match reaches back before the chunk
// starts"). what() is both: "PROBLEM (DETAIL)".
class EWimError : public marivane::Exception {
 public:
  EWimError(TWimFault fault, const std::string& problem, const std::string& detail);
  TWimFault fault() const { return fault_; }
  const std::string& problem() const { return problem_; }
  const std::string& detail() const { return detail_; }

 private:
  TWimFault fault_;
  std::string problem_;
  std::string detail_;
};

enum class TWimCodec { kNone, kXpress, kLzx };

struct TWimHeader {
  std::uint32_t version = 0;
  std::uint32_t flags = 0;
  TWimCodec codec = TWimCodec::kNone;
  std::uint32_t chunk_size = 0;  // as stored; only meaningful when compressed
  std::array<std::uint8_t, 16> guid{};
  std::uint16_t part_number = 0;
  std::uint16_t total_parts = 0;
  std::uint32_t image_count = 0;
  TResourceHeader blob_table;
  TResourceHeader xml_data;
  // A copy of the boot image's metadata header, or all zeros; the reader has checked that it
  // is one or the other.
  TResourceHeader boot_metadata;
  std::uint32_t boot_index = 0;  // 1-based; 0 for none
  TResourceHeader integrity;     // not read
};

// One entry of the table of contents that the archive uses: entries with a zero hash or no
// data are skipped, as wimlib skips them, and so are images' metadata entries nobody counts.
struct TWimBlob {
  TResourceHeader resource;
  std::uint16_t part_number = 0;
  std::uint32_t reference_count = 0;  // as the table says
  // Directory entries of all images whose data this is, or 1 for an image's list of files:
  // what reference_count should say (7-Zip warns where it differs; wimlib does not mind).
  std::uint32_t references = 0;
  TSha1Digest hash{};
  // Of its entry: in the archive, or in the table where the table is stored compressed.
  std::uint64_t entry_offset = 0;
  bool IsMetadata() const { return (resource.flags & wim::kResFlagMetadata) != 0; }
};

constexpr std::size_t kNoBlob = static_cast<std::size_t>(-1);

// A file or folder of an image.
struct TWimFile {
  std::u16string name;  // empty for the root folder
  std::uint32_t attributes = 0;
  bool is_directory = false;
  std::uint64_t creation_time = 0;  // FILETIMEs
  std::uint64_t last_access_time = 0;
  std::uint64_t last_write_time = 0;
  // The unnamed data: its SHA-1 (zero for none), its size and its entry in Blobs() (kNoBlob
  // for none). Named (alternate) data streams are passed over.
  TSha1Digest hash{};
  std::uint64_t size = 0;
  std::size_t blob = kNoBlob;
  std::uint64_t entry_offset = 0;  // of its directory entry in the image's list of files
  std::vector<TWimFile> children;  // a folder's, in the order stored; names are unique in it
};

struct TWimImage {
  std::size_t metadata_blob = kNoBlob;  // the entry in Blobs() of its list of files
  TWimFile root;
};

class TWimArchive {
 public:
  // Reads and checks the header, the table of contents and every image's list of files (each
  // checked against its SHA-1); file data is read later, file by file. `wim` is not copied
  // and must outlive the archive. Raises EWimError.
  explicit TWimArchive(std::span<const std::uint8_t> wim);

  const TWimHeader& Header() const { return header_; }
  const std::vector<TWimBlob>& Blobs() const { return blobs_; }
  // In the order of their metadata entries, which is how images are numbered: image N is
  // Images()[N - 1].
  const std::vector<TWimImage>& Images() const { return images_; }
  // The XML description, UTF-16LE as stored (usually with a byte-order mark).
  const std::vector<std::uint8_t>& Xml() const { return xml_; }

  // The unnamed data of a file of this archive's images, decompressed and checked against its
  // SHA-1; empty for a folder or an empty file. Raises EWimError naming the file. May be
  // called from several threads at once.
  std::vector<std::uint8_t> ReadFile(const TWimFile& file) const;

 private:
  struct TOpening;  // the work of the constructor
  // A resource's bytes, and their SHA-1 where `hash` is given; `what` names the resource for
  // errors ("the data of X").
  std::vector<std::uint8_t> ReadResource(const TResourceHeader& resource, const std::string& what,
                                         TSha1Digest* hash = nullptr) const;

  std::span<const std::uint8_t> wim_;
  TWimHeader header_;
  std::vector<TWimBlob> blobs_;
  std::vector<TWimImage> images_;
  std::vector<std::uint8_t> xml_;
};

}  // namespace imaging
