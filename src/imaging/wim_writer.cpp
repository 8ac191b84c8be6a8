#include "imaging/wim_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <thread>

#include "imaging/wim_format.h"

namespace imaging {

namespace {

constexpr std::size_t kHeaderSize = sizeof(wim::THeaderDisk);
// Chunk-table entries are 4 bytes until a resource passes 4 GiB, then 8.
constexpr std::uint64_t kMaxSmallResource = 0xFFFFFFFFull;
constexpr std::size_t kDentryAlignment = 8;
constexpr std::size_t kEndMarkerSize = 8;  // a zero length field closes each child list
constexpr char16_t kUtf16Bom = 0xFEFF;

std::uint64_t Align8(std::uint64_t v) { return (v + kDentryAlignment - 1) & ~std::uint64_t{kDentryAlignment - 1}; }

wim::TResourceHeaderDisk ToDisk(const TResourceHeader& r) {
  wim::TResourceHeaderDisk d{};
  for (int i = 0; i < 7; ++i) d.size_in_wim[i] = std::uint8_t(r.stored_size >> (8 * i));
  d.flags = r.flags;
  d.offset_in_wim = r.offset;
  d.uncompressed_size = r.uncompressed_size;
  return d;
}

template <typename T>
void AppendStruct(std::vector<std::uint8_t>& out, const T& value) {
  // resize+memcpy rather than insert(): GCC 12 at -O3 warns falsely about insert into an
  // empty vector (-Wstringop-overflow).
  const std::size_t at = out.size();
  out.resize(at + sizeof(T));
  std::memcpy(out.data() + at, &value, sizeof(T));
}

template <typename T>
void StoreStruct(std::vector<std::uint8_t>& out, std::size_t at, const T& value) {
  std::memcpy(out.data() + at, &value, sizeof(T));
}

char16_t Upcase(char16_t c) {
  if (c >= u'a' && c <= u'z') return char16_t(c - 0x20);
  // Latin-1 lower-case letters except the division sign and y-diaeresis.
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return char16_t(c - 0x20);
  return c;
}

// --- Metadata resource ---

std::size_t DentryLength(const TImageNode& node) {
  std::size_t len = sizeof(wim::TDentryDisk);
  if (!node.name.empty()) len += (node.name.size() + 1) * sizeof(char16_t);
  return std::size_t(Align8(len));
}

std::size_t AppendDentry(std::vector<std::uint8_t>& out, const TImageNode& node) {
  const std::size_t at = out.size();
  const std::size_t len = DentryLength(node);
  wim::TDentryDisk d{};
  d.length = len;
  d.attributes = node.info.attributes;
  d.security_id = wim::kNoSecurityId;
  d.creation_time = node.info.creation_time;
  d.last_access_time = node.info.last_access_time;
  d.last_write_time = node.info.last_write_time;
  if (!node.info.is_directory) std::memcpy(d.hash, node.hash.data(), sizeof(d.hash));
  d.name_bytes = std::uint16_t(node.name.size() * sizeof(char16_t));
  out.resize(at + len, 0);
  StoreStruct(out, at, d);
  if (!node.name.empty()) std::memcpy(out.data() + at + sizeof(d), node.name.data(), d.name_bytes);
  return at;
}

// Writes `dir`'s child list, then the lists of its subfolders, and points the dentry at
// `dentry_at` to the list.
void AppendChildren(std::vector<std::uint8_t>& out, const TImageNode& dir, std::size_t dentry_at) {
  const std::uint64_t list_at = out.size();
  std::memcpy(out.data() + dentry_at + offsetof(wim::TDentryDisk, subdir_offset), &list_at, 8);
  std::vector<std::size_t> positions;
  positions.reserve(dir.children.size());
  for (const TImageNode& child : dir.children) positions.push_back(AppendDentry(out, child));
  out.resize(out.size() + kEndMarkerSize, 0);
  for (std::size_t i = 0; i < dir.children.size(); ++i)
    if (dir.children[i].info.is_directory) AppendChildren(out, dir.children[i], positions[i]);
}

void CountTree(const TImageNode& node, std::uint64_t& dirs, std::uint64_t& files, std::uint64_t& bytes) {
  if (node.info.is_directory) {
    ++dirs;
    for (const TImageNode& c : node.children) CountTree(c, dirs, files, bytes);
  } else {
    ++files;
    bytes += node.info.size;
  }
}

void SortTree(TImageNode& node) {
  std::sort(node.children.begin(), node.children.end(),
            [](const TImageNode& a, const TImageNode& b) { return LessWimName(a.name, b.name); });
  for (TImageNode& c : node.children) SortTree(c);
}

std::vector<std::uint8_t> BuildImageMetadata(const TImageNode& root) {
  std::vector<std::uint8_t> out;
  out.reserve(4096);
  // No security descriptors: the block is just its own 8-byte header.
  AppendStruct(out, wim::TSecurityBlockDisk{sizeof(wim::TSecurityBlockDisk), 0});
  const std::size_t root_at = AppendDentry(out, root);
  // The root stands alone in a list of one, closed like any other.
  out.resize(out.size() + kEndMarkerSize, 0);
  AppendChildren(out, root, root_at);
  return out;
}

// --- XML description ---

void AppendAscii(std::u16string& out, const char* text) {
  for (; *text; ++text) out.push_back(char16_t(static_cast<unsigned char>(*text)));
}

void AppendNumberElement(std::u16string& out, const char* name, std::uint64_t value) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "<%s>%llu</%s>", name, static_cast<unsigned long long>(value), name);
  AppendAscii(out, buf);
}

// Times are written as the two halves of a FILETIME in upper-case hex, as Windows does.
void AppendTimeElement(std::u16string& out, const char* name, std::uint64_t filetime) {
  char buf[160];
  std::snprintf(buf, sizeof buf, "<%s><HIGHPART>0x%08X</HIGHPART><LOWPART>0x%08X</LOWPART></%s>", name,
                static_cast<unsigned>(filetime >> 32), static_cast<unsigned>(filetime & 0xFFFFFFFFu), name);
  AppendAscii(out, buf);
}

// What every header of ours starts with: the magic, its size and the format's version.
wim::THeaderDisk StartedHeader() {
  wim::THeaderDisk h{};
  std::memcpy(h.magic, wim::kMagic, sizeof h.magic);
  h.header_size = kHeaderSize;
  h.version = wim::kVersion;
  return h;
}

}  // namespace

// --- Writer ---

bool LessWimName(const std::u16string& a, const std::u16string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t ua = Upcase(a[i]), ub = Upcase(b[i]);
    if (ua != ub) return ua < ub;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

TWimWriter::TWimWriter(std::unique_ptr<fs::TOutputFile> file, TWimCompression compression,
                       const std::optional<TWimIdentity>& identity, const TLzxTuning& tuning)
    : file_(std::move(file)), compression_(compression), identity_(identity), lzx_(tuning) {}

TWimWriter::~TWimWriter() {
  if (file_) file_->Discard();
}

TDword TWimWriter::Begin() {
  // A placeholder until Finish(): readers refuse an archive still flagged as being written.
  wim::THeaderDisk h = StartedHeader();
  h.flags = wim::kHeaderFlagWriteInProgress;
  const auto* p = reinterpret_cast<const std::uint8_t*>(&h);
  if (TDword e = file_->WriteAt(0, std::span(p, sizeof h))) return e;
  end_ = kHeaderSize;
  return kErrorSuccess;
}

void TWimWriter::Rollback(const TCheckpoint& cp) {
  while (blobs_.size() > cp.blob_count) {
    blob_index_.erase(blobs_.back().hash);
    blobs_.pop_back();
  }
  end_ = cp.end;
}

void TWimWriter::PackResource(std::span<const std::uint8_t> data, TPacked& packed) {
  packed.chunk_ends.clear();
  packed.bytes.clear();
  if (compression_ == TWimCompression::kLzx && !data.empty()) lzx_.Compress(data, packed.bytes, packed.chunk_ends);
}

TDword TWimWriter::StoreResource(std::span<const std::uint8_t> data, const TPacked& packed, std::uint8_t base_flags,
                                 TResourceHeader& res) {
  res = {};
  res.offset = end_;
  res.uncompressed_size = data.size();
  if (!packed.chunk_ends.empty()) {
    const std::size_t chunks = packed.chunk_ends.size();
    const std::size_t entry_size = data.size() > kMaxSmallResource ? 8 : 4;
    // Chunk 0 starts right after the table, so only chunks 1..N-1 have entries.
    const std::size_t table_size = (chunks - 1) * entry_size;
    if (table_size + packed.bytes.size() < data.size()) {
      std::vector<std::uint8_t> table(table_size);
      for (std::size_t i = 0; i + 1 < chunks; ++i) {
        const std::uint64_t rel = packed.chunk_ends[i];
        std::memcpy(table.data() + i * entry_size, &rel, entry_size);
      }
      res.flags = base_flags | wim::kResFlagCompressed;
      res.stored_size = table_size + packed.bytes.size();
      if (TDword e = table.empty() ? kErrorSuccess : file_->WriteAt(end_, table)) return e;
      if (TDword e = file_->WriteAt(end_ + table_size, packed.bytes)) return e;
      end_ += res.stored_size;
      return kErrorSuccess;
    }
  }
  res.flags = base_flags;
  res.stored_size = data.size();
  if (TDword e = file_->WriteAt(end_, data)) return e;
  end_ += data.size();
  return kErrorSuccess;
}

TDword TWimWriter::WriteResource(std::span<const std::uint8_t> data, std::uint8_t base_flags,
                                 TResourceHeader& res) {
  TPacked packed;
  PackResource(data, packed);
  return StoreResource(data, packed, base_flags, res);
}

TDword TWimWriter::AddBlob(std::span<const std::uint8_t> data, TSha1Digest& hash) {
  if (data.empty()) {
    // Empty files carry the all-zero hash and have no blob.
    hash = {};
    return kErrorSuccess;
  }
  // Whether the blob is stored at all depends on its hash, but it is the compression that takes
  // the time: the hash is taken on a thread of its own meanwhile (taken first, it was about a
  // tenth of the wait for a large picture), and the rare duplicate is compressed for nothing.
  TPacked packed;
  std::thread hasher;
  if (compression_ == TWimCompression::kLzx && data.size() > kLzxChunkSize) {
    try {
      hasher = std::thread([&] { hash = Sha1Of(data); });
    } catch (const std::system_error&) {
      // No thread to be had: the hash is taken after the compression below.
    }
  }
  try {
    PackResource(data, packed);
  } catch (...) {
    if (hasher.joinable()) hasher.join();
    throw;
  }
  if (hasher.joinable())
    hasher.join();
  else
    hash = Sha1Of(data);
  if (blob_index_.count(hash)) return kErrorSuccess;
  TBlob blob;
  blob.hash = hash;
  if (TDword e = StoreResource(data, packed, 0, blob.resource)) return e;
  blob_index_.emplace(hash, blobs_.size());
  blobs_.push_back(blob);
  return kErrorSuccess;
}

unsigned TWimWriter::AddImage(TImageNode root) {
  TImage image;
  SortTree(root);
  CountTree(root, image.dir_count, image.file_count, image.total_bytes);
  auto add_refs = [&](auto&& self, const TImageNode& node) -> void {
    if (!node.info.is_directory && node.info.size != 0) ++blobs_[blob_index_.at(node.hash)].refs;
    for (const TImageNode& c : node.children) self(self, c);
  };
  add_refs(add_refs, root);
  image.root = std::move(root);
  images_.push_back(std::move(image));
  return unsigned(images_.size());
}

TDword TWimWriter::SetBootIndex(unsigned index) {
  if (index > images_.size()) return kErrorInvalidParameter;
  boot_index_ = index;
  return kErrorSuccess;
}

TDword TWimWriter::Finish() {
  const TDword e = FinishUnchecked();
  if (e != kErrorSuccess) Abandon();
  return e;
}

void TWimWriter::Abandon() {
  if (file_) file_->Discard();
  file_.reset();
}

TDword TWimWriter::FinishUnchecked() {
  if (!file_) return kErrorInvalidHandle;
  for (TImage& image : images_) {
    const std::vector<std::uint8_t> meta = BuildImageMetadata(image.root);
    image.metadata_hash = Sha1Of(meta);
    if (TDword e = WriteResource(meta, wim::kResFlagMetadata, image.metadata)) return e;
  }
  const std::vector<std::uint8_t> table = BlobTable();
  TResourceHeader table_res;
  if (TDword e = WriteAsItIs(table, table_res)) return e;
  // The top-level TOTALBYTES of the XML is where the XML starts.
  TResourceHeader xml_res;
  if (TDword e = WriteAsItIs(XmlDescription(end_), xml_res)) return e;
  // A rolled-back capture may have left bytes past the end.
  if (TDword e = file_->Truncate(end_)) return e;

  wim::THeaderDisk h = StartedHeader();
  if (compression_ == TWimCompression::kLzx) {
    h.flags = wim::kHeaderFlagCompression | wim::kHeaderFlagCompressLzx;
    h.chunk_size = kLzxChunkSize;
  }
  if (identity_)
    std::memcpy(h.guid, identity_->guid.data(), sizeof h.guid);
  else
    std::memcpy(h.guid, Sha1Of(table).data(), sizeof h.guid);
  h.part_number = 1;
  h.total_parts = 1;
  h.image_count = std::uint32_t(images_.size());
  h.blob_table = ToDisk(table_res);
  h.xml_data = ToDisk(xml_res);
  if (boot_index_ != 0) h.boot_metadata = ToDisk(images_[boot_index_ - 1].metadata);
  h.boot_index = boot_index_;
  const auto* p = reinterpret_cast<const std::uint8_t*>(&h);
  if (TDword e = file_->WriteAt(0, std::span(p, sizeof h))) return e;
  if (TDword e = file_->Close()) return e;
  file_.reset();
  return kErrorSuccess;
}

// Metadata resources first, in image order, which is how readers bind them; then the blobs.
std::vector<std::uint8_t> TWimWriter::BlobTable() const {
  std::vector<std::uint8_t> table;
  const auto append = [&](const TResourceHeader& resource, const TSha1Digest& hash,
                          std::uint32_t refs) {
    wim::TBlobEntryDisk d{};
    d.resource = ToDisk(resource);
    d.part_number = 1;
    d.reference_count = refs;
    std::memcpy(d.hash, hash.data(), sizeof d.hash);
    AppendStruct(table, d);
  };
  for (const TImage& image : images_) append(image.metadata, image.metadata_hash, 1);
  for (const TBlob& blob : blobs_) append(blob.resource, blob.hash, blob.refs);
  return table;
}

// UTF-16LE with a byte-order mark.
std::vector<std::uint8_t> TWimWriter::XmlDescription(std::uint64_t at) const {
  std::u16string xml;
  xml.push_back(kUtf16Bom);
  AppendAscii(xml, "<WIM>");
  AppendNumberElement(xml, "TOTALBYTES", at);
  for (std::size_t i = 0; i < images_.size(); ++i) {
    const TImage& image = images_[i];
    char open[48];
    std::snprintf(open, sizeof open, "<IMAGE INDEX=\"%zu\">", i + 1);
    AppendAscii(xml, open);
    AppendNumberElement(xml, "DIRCOUNT", image.dir_count);
    AppendNumberElement(xml, "FILECOUNT", image.file_count);
    AppendNumberElement(xml, "TOTALBYTES", image.total_bytes);
    AppendNumberElement(xml, "HARDLINKBYTES", 0);
    const std::uint64_t time = identity_ ? identity_->time : image.root.info.last_write_time;
    AppendTimeElement(xml, "CREATIONTIME", time);
    AppendTimeElement(xml, "LASTMODIFICATIONTIME", time);
    AppendAscii(xml, "</IMAGE>");
  }
  AppendAscii(xml, "</WIM>");
  std::vector<std::uint8_t> bytes;
  for (char16_t c : xml) {
    bytes.push_back(std::uint8_t(c));
    bytes.push_back(std::uint8_t(c >> 8));
  }
  return bytes;
}

// The blob table and the XML are stored as they are, at the end, flagged as metadata.
TDword TWimWriter::WriteAsItIs(const std::vector<std::uint8_t>& bytes, TResourceHeader& res) {
  res = TResourceHeader{bytes.size(), end_, bytes.size(), wim::kResFlagMetadata};
  if (TDword e = file_->WriteAt(end_, bytes)) return e;
  end_ += bytes.size();
  return kErrorSuccess;
}

}  // namespace imaging
