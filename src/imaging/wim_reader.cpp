#include "imaging/wim_reader.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iterator>
#include <map>
#include <memory>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <unordered_set>

#include "base/byte_reader.h"
#include "base/hex_text.h"
#include "imaging/lzx_decompressor.h"
#include "imaging/utf.h"
#include "imaging/xpress_decompressor.h"

namespace imaging {

namespace {

using marivane::TByteReader;
using THeader = wim::THeaderDisk;
using TEntry = wim::TDentryDisk;

constexpr std::uint64_t kHeaderSize = sizeof(THeader);
constexpr std::uint64_t kBlobEntrySize = sizeof(wim::TBlobEntryDisk);
// Chunk-table entries are 4 bytes until a resource passes 4 GiB, then 8.
constexpr std::uint64_t kMaxSmallResource = 0xFFFFFFFFull;
// The chunk sizes wimlib writes and reads: XPRESS offsets reach 64 KiB back, LZX windows are
// 32 KiB to 2 MiB. Microsoft's own software writes and reads 32 KiB only.
constexpr std::uint32_t kMinXpressChunk = 4096;
constexpr std::uint32_t kMaxXpressChunk = 65536;
constexpr std::uint32_t kMinLzxChunk = 32768;
constexpr std::uint32_t kMaxLzxChunk = 2097152;
// A thread costs some tens of microseconds to start, a chunk some hundreds to decode.
constexpr std::uint64_t kChunksWorthAThread = 8;
constexpr std::uint32_t kEmptySecurityBlock = 8;  // what a total length of 0 stands for
constexpr std::uint64_t kSecurityAlignment = 8;   // the first entry starts on the next multiple

// --- What the user reads ---

constexpr char kNotWim[] = "This is not a WIM archive";
constexpr char kCutShort[] = "The archive is cut short";
constexpr char kHeaderDamaged[] = "The archive's header is damaged";
constexpr char kTableDamaged[] = "The archive's table of contents is damaged";
constexpr char kListDamaged[] = "The archive's list of files is damaged";
// What a resource holds, for "... is damaged" and "... is larger than Marivane reads".
constexpr char kTableOfContents[] = "the archive's table of contents";
constexpr char kListOfFiles[] = "the archive's list of files";
constexpr char kXmlDescription[] = "the archive's XML description";

std::string Hex(std::uint64_t value) {
  return marivane::HexNumber(value);
}

std::string Number(std::uint64_t value) {
  return std::to_string(value);
}

std::string HashText(const TSha1Digest& hash) {
  return marivane::HexString(hash);
}

// A name from the archive as the user reads it; code units that are not text show as "?".
std::string NameText(const std::u16string& name) {
  std::u16string shown = name;
  for (char16_t& unit : shown)
    if (unit < 0x20) unit = u'?';
  std::string text;
  if (!Utf16ToUtf8(shown, text)) {
    text.clear();
    for (char16_t unit : shown) text += unit < 0x80 ? char(unit) : '?';
  }
  return text;
}

std::string Capitalized(std::string text) {
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = char(text[0] - 'a' + 'A');
  return text;
}

[[noreturn]] void Damaged(const std::string& problem, const std::string& detail) {
  throw EWimError(TWimFault::kDamaged, problem, detail);
}

[[noreturn]] void NotSupported(const std::string& problem, const std::string& detail) {
  throw EWimError(TWimFault::kNotSupported, problem, detail);
}

[[noreturn]] void ArchiveEnds(const char* what, std::uint64_t offset) {
  Damaged(kCutShort, std::string("it ends before ") + what + " at " + Hex(offset));
}

[[noreturn]] void ListEnds(const char* what, std::uint64_t offset) {
  Damaged(kListDamaged, std::string("the list ends before ") + what + " at " + Hex(offset));
}

[[noreturn]] void TableEnds(const char* what, std::uint64_t offset) {
  Damaged(kTableDamaged, std::string("the table ends before ") + what + " at " + Hex(offset));
}

[[noreturn]] void RefuseSolid(const std::string& entry) {
  NotSupported("The archive is a solid archive (an ESD file), which Marivane does not read",
               "the table of contents' " + entry + " lies in a solid resource");
}

bool IsZero(const TSha1Digest& hash) {
  return std::all_of(hash.begin(), hash.end(), [](std::uint8_t b) { return b == 0; });
}

TSha1Digest HashAt(const TByteReader& in, std::uint64_t at) {
  TSha1Digest hash;
  const auto bytes = in.Bytes(at, hash.size(), "a SHA-1");
  std::copy(bytes.begin(), bytes.end(), hash.begin());
  return hash;
}

TResourceHeader ResourceAt(const TByteReader& in, std::uint64_t at) {
  using TDisk = wim::TResourceHeaderDisk;
  TResourceHeader resource;
  constexpr std::uint64_t kSizeMask = 0x00FFFFFFFFFFFFFFull;  // 56 bits; the flags byte above
  resource.stored_size = in.U64(at + offsetof(TDisk, size_in_wim), "a resource header") & kSizeMask;
  resource.flags = in.U8(at + offsetof(TDisk, flags), "a resource header");
  resource.offset = in.U64(at + offsetof(TDisk, offset_in_wim), "a resource header");
  resource.uncompressed_size = in.U64(at + offsetof(TDisk, uncompressed_size), "a resource header");
  return resource;
}

// Where a resource lies, for a report: "1234 bytes from 0x1A2B".
std::string Placed(const TResourceHeader& resource) {
  return Number(resource.stored_size) + " bytes from " + Hex(resource.offset);
}

// Upper case for the comparison of names, as the writer sorts them: ASCII and Latin-1 letters.
char16_t Folded(char16_t c) {
  if (c >= u'a' && c <= u'z') return char16_t(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return char16_t(c - 0x20);
  return c;
}

// Whether a file of this name could exist on Windows and be extracted where it says.
bool IsFileName(const std::u16string& name) {
  if (name.empty() || name == u"." || name == u"..") return false;
  return name.find_first_of(std::u16string_view(u"\0/\\", 3)) == std::u16string::npos;
}

// Encrypted ESD files say so in their XML, which is stored as it is: <ESD><ENCRYPTED>.
bool MentionsEncryption(std::span<const std::uint8_t> xml) {
  static constexpr char16_t kTag[] = u"<ENCRYPTED";
  std::uint8_t pattern[2 * (std::size(kTag) - 1)];
  for (std::size_t i = 0; i + 1 < std::size(kTag); ++i) {
    pattern[2 * i] = std::uint8_t(kTag[i]);
    pattern[2 * i + 1] = std::uint8_t(kTag[i] >> 8);
  }
  return std::search(xml.begin(), xml.end(), std::begin(pattern), std::end(pattern)) != xml.end();
}

// --- One image's list of files ---

class TTreeReader {
 public:
  TTreeReader(std::span<const std::uint8_t> list, std::uint64_t security_entries,
              const std::map<TSha1Digest, std::size_t>& data, std::vector<TWimBlob>& blobs,
              std::size_t& entries)
      : list_(list, ListEnds),
        security_entries_(security_entries),
        data_(data),
        blobs_(blobs),
        entries_(entries) {}

  TWimFile ReadRoot(std::uint64_t at) {
    const std::uint64_t length = list_.U64(at, "the root folder");
    if (length == 0)
      Damaged(kListDamaged, "the image has no root folder, only an end marker at " + Hex(at));
    lists_.insert(at);
    TWimFile root;
    std::uint64_t children = 0;
    ReadEntry(at, length, root, children);
    if (!root.is_directory)
      Damaged(kListDamaged, "the root entry at " + Hex(at) + " is not a folder");
    root.name.clear();  // wimlib drops a root's name too; nothing shows it
    if (children != 0) ReadChildren(children, root, 1);
    return root;
  }

 private:
  // A directory entry and the extra stream entries after it; returns where the next begins.
  std::uint64_t ReadEntry(std::uint64_t at, std::uint64_t length, TWimFile& file,
                          std::uint64_t& children) {
    if (++entries_ > kMaxWimEntries)
      NotSupported("The archive holds more files than Marivane reads",
                   "more than " + Number(kMaxWimEntries) + " entries");
    if (length % 8 != 0 || length < sizeof(TEntry))
      Damaged(kListDamaged, "the entry at " + Hex(at) + " gives its length as " + Number(length));
    if (!list_.Holds(at, length))
      Damaged(kListDamaged, "the entry at " + Hex(at) + " (" + Number(length) +
                                " bytes) runs past the end of the list at " + Hex(list_.Size()));
    file.entry_offset = at;
    file.attributes = list_.U32(at + offsetof(TEntry, attributes));
    file.is_directory = (file.attributes & wim::kAttributeDirectory) != 0;
    const std::uint32_t security = list_.U32(at + offsetof(TEntry, security_id));
    if (security != wim::kNoSecurityId && security >= security_entries_)
      Damaged(kListDamaged, "the entry at " + Hex(at) + " names security descriptor " +
                                Number(security) + " of " + Number(security_entries_));
    children = list_.U64(at + offsetof(TEntry, subdir_offset));
    file.creation_time = list_.U64(at + offsetof(TEntry, creation_time));
    file.last_access_time = list_.U64(at + offsetof(TEntry, last_access_time));
    file.last_write_time = list_.U64(at + offsetof(TEntry, last_write_time));
    const std::uint16_t streams = list_.U16(at + offsetof(TEntry, num_extra_streams));
    const std::uint16_t short_bytes = list_.U16(at + offsetof(TEntry, short_name_bytes));
    const std::uint16_t name_bytes = list_.U16(at + offsetof(TEntry, name_bytes));
    if (short_bytes % 2 != 0 || name_bytes % 2 != 0)
      Damaged(kListDamaged, "the entry at " + Hex(at) + " gives a name an odd number of bytes");
    // Each name present is followed by a 2-byte NUL.
    const std::uint64_t names =
        (name_bytes ? name_bytes + 2u : 0u) + (short_bytes ? short_bytes + 2u : 0u);
    if (sizeof(TEntry) + names > length)
      Damaged(kListDamaged, "the entry at " + Hex(at) + " (" + Number(length) +
                                " bytes) is too short for its names");
    file.name.resize(name_bytes / 2);
    for (std::size_t k = 0; k < file.name.size(); ++k)
      file.name[k] = char16_t(list_.U16(at + sizeof(TEntry) + 2 * k));

    // The data is the first unnamed stream, the entry's own hash unless that is zero; a reparse
    // point's first unnamed stream is its reparse data instead (wimlib's reading, and DISM's).
    bool reparse_data_pending = (file.attributes & wim::kAttributeReparsePoint) != 0;
    bool found = false;
    TSha1Digest data{};
    auto consider = [&](const TSha1Digest& hash) {
      if (reparse_data_pending) {
        reparse_data_pending = false;
      } else if (!found) {
        data = hash;
        found = true;
      }
    };
    const TSha1Digest own = HashAt(list_, at + offsetof(TEntry, hash));
    if (!IsZero(own)) consider(own);
    std::uint64_t next = at + length;
    using TStream = wim::TExtraStreamDisk;
    for (unsigned s = 0; s < streams; ++s) {
      // Rounded up to 8 as wimlib reads it; only once it is known to fit can it not wrap.
      std::uint64_t stream_length = list_.U64(next, "a stream entry");
      if (stream_length < sizeof(TStream) || !list_.Holds(next, stream_length) ||
          !list_.Holds(next, stream_length = marivane::AlignUp(stream_length, 8)))
        Damaged(kListDamaged, "the stream entry at " + Hex(next) + " gives its length as " +
                                  Number(stream_length));
      const std::uint16_t stream_name_bytes = list_.U16(next + offsetof(TStream, name_bytes));
      if (stream_name_bytes % 2 != 0 ||
          (stream_name_bytes != 0 && sizeof(TStream) + stream_name_bytes + 2u > stream_length))
        Damaged(kListDamaged, "the stream entry at " + Hex(next) + " does not hold its name");
      // Named streams (alternate data streams) are not the file's data and are passed over.
      if (stream_name_bytes == 0) consider(HashAt(list_, next + offsetof(TStream, hash)));
      next += stream_length;
    }

    if (!file.is_directory && found && !IsZero(data)) {
      const auto blob = data_.find(data);
      if (blob == data_.end())
        Damaged("The data of " + NameText(file.name) + " is missing from the archive",
                "its entry at " + Hex(at) + " names SHA-1 " + HashText(data) +
                    ", which the table of contents does not hold");
      file.hash = data;
      file.blob = blob->second;
      file.size = blobs_[blob->second].resource.uncompressed_size;
      ++blobs_[blob->second].references;
    }
    return next;
  }

  void ReadChildren(std::uint64_t list_at, TWimFile& folder, unsigned depth) {
    if (depth > kMaxWimDepth)
      NotSupported("The archive's folders lie deeper than Marivane reads",
                   "more than " + Number(kMaxWimDepth) + " folders inside each other");
    // Each list once: a folder whose list is reached again would make a loop or a copy.
    if (!lists_.insert(list_at).second)
      Damaged(kListDamaged, "the folder list at " + Hex(list_at) + " is reached a second time");
    for (std::uint64_t at = list_at;;) {
      const std::uint64_t length = list_.U64(at, "an entry");
      if (length == 0) break;  // the end marker
      TWimFile child;
      std::uint64_t children = 0;
      const std::uint64_t next = ReadEntry(at, length, child, children);
      if (!IsFileName(child.name))
        Damaged(kListDamaged, "the entry at " + Hex(at) + " is named \"" + NameText(child.name) +
                                  "\", which no file can be");
      if (child.is_directory && children != 0) ReadChildren(children, child, depth + 1);
      folder.children.push_back(std::move(child));
      at = next;
    }
    // Windows finds names without regard to case, so two that differ only in case are one
    // name twice.
    std::vector<std::pair<std::u16string, std::size_t>> folded;
    folded.reserve(folder.children.size());
    for (std::size_t i = 0; i < folder.children.size(); ++i) {
      folded.emplace_back(folder.children[i].name, i);
      for (char16_t& c : folded.back().first) c = Folded(c);
    }
    std::sort(folded.begin(), folded.end());
    const auto twin =
        std::adjacent_find(folded.begin(), folded.end(),
                           [](const auto& a, const auto& b) { return a.first == b.first; });
    if (twin != folded.end())
      Damaged(kListDamaged, "the folder list at " + Hex(list_at) + " holds two files named \"" +
                                NameText(folder.children[twin->second].name) + "\"");
  }

  TByteReader list_;
  std::uint64_t security_entries_;
  const std::map<TSha1Digest, std::size_t>& data_;
  std::vector<TWimBlob>& blobs_;
  std::size_t& entries_;
  std::unordered_set<std::uint64_t> lists_;
};

}  // namespace

EWimError::EWimError(TWimFault fault, const std::string& problem, const std::string& detail)
    : Exception(problem + " (" + detail + ")"), fault_(fault), problem_(problem), detail_(detail) {}

// --- Opening ---

struct TWimArchive::TOpening {
  TWimArchive& archive;
  TByteReader in;
  std::map<TSha1Digest, std::size_t> data;  // file data by SHA-1
  std::size_t entries = 0;                  // directory entries, against kMaxWimEntries
  std::uint64_t listed_bytes = 0;           // of all images' lists of files

  explicit TOpening(TWimArchive& a) : archive(a), in(a.wim_, ArchiveEnds) {}

  void ReadHeader();
  void CheckKind();
  void ReadBlobTable();
  void CheckOverlaps();
  void ReadImage(std::size_t index);
  void CheckBoot();
  void CheckInArchive(const TResourceHeader& resource, const std::string& what) const;
};

void TWimArchive::TOpening::ReadHeader() {
  TWimHeader& h = archive.header_;
  const auto starts_with = [&](const std::uint8_t(&magic)[8]) {
    return in.Holds(0, 8) && std::equal(std::begin(magic), std::end(magic), in.Bytes(0, 8).begin());
  };
  if (starts_with(wim::kPipableMagic))
    NotSupported("The archive is a pipable WIM, which Marivane does not read",
                 "it starts with the magic WLPWM");
  if (!starts_with(wim::kMagic)) {
    std::string first;
    for (std::uint64_t i = 0; i < 8 && i < archive.wim_.size(); ++i) {
      char byte[4];
      std::snprintf(byte, sizeof byte, "%s%02X", i ? " " : "", in.U8(i));
      first += byte;
    }
    Damaged(kNotWim, first.empty() ? "it is empty"
                                   : "it starts with " + first + ", not with the magic MSWIM");
  }
  if (archive.wim_.size() > kMaxWimBytes)
    NotSupported("The archive is larger than Marivane reads",
                 "it holds " + Number(archive.wim_.size()) +
                     " bytes; Marivane reads at most " + Number(kMaxWimBytes));
  if (!in.Holds(0, kHeaderSize))
    Damaged(kCutShort, "it ends at " + Number(archive.wim_.size()) + " bytes, inside its " +
                           Number(kHeaderSize) + "-byte header");
  const std::uint32_t header_size = in.U32(offsetof(THeader, header_size));
  if (header_size != kHeaderSize)
    Damaged(kHeaderDamaged, "its size at " + Hex(offsetof(THeader, header_size)) + " is " +
                                Number(header_size) + ", not " + Number(kHeaderSize));
  h.version = in.U32(offsetof(THeader, version));
  h.flags = in.U32(offsetof(THeader, flags));
  h.chunk_size = in.U32(offsetof(THeader, chunk_size));
  const auto guid = in.Bytes(offsetof(THeader, guid), h.guid.size());
  std::copy(guid.begin(), guid.end(), h.guid.begin());
  h.part_number = in.U16(offsetof(THeader, part_number));
  h.total_parts = in.U16(offsetof(THeader, total_parts));
  h.image_count = in.U32(offsetof(THeader, image_count));
  h.blob_table = ResourceAt(in, offsetof(THeader, blob_table));
  h.xml_data = ResourceAt(in, offsetof(THeader, xml_data));
  h.boot_metadata = ResourceAt(in, offsetof(THeader, boot_metadata));
  h.boot_index = in.U32(offsetof(THeader, boot_index));
  h.integrity = ResourceAt(in, offsetof(THeader, integrity));
}

// Kinds of archive that are sound but not read here, before anything they would trip over.
void TWimArchive::TOpening::CheckKind() {
  TWimHeader& h = archive.header_;
  const TResourceHeader& xml = h.xml_data;
  // Looked for first: encrypted ESD files are solid as well, and this says more.
  if ((xml.flags & wim::kResFlagCompressed) == 0 && in.Holds(xml.offset, xml.stored_size) &&
      MentionsEncryption(in.Bytes(xml.offset, xml.stored_size)))
    NotSupported("The archive is encrypted, which Marivane does not read",
                 "its XML description, " + Placed(xml) + ", has an ENCRYPTED element");
  if (h.version != wim::kVersion && h.version != wim::kVersionSolid)
    NotSupported("The archive is of a WIM version that Marivane does not read",
                 "its version at " + Hex(offsetof(THeader, version)) + " is " + Hex(h.version) +
                     ", not " + Hex(wim::kVersion));
  // The newer version allows solid resources, and wimlib gives it to every LZMS archive. Where
  // the table of contents is stored as it is, a solid entry in it is found here, before the
  // LZMS flag that solid archives usually have too; ReadBlobTable finds any other.
  const TResourceHeader& table = h.blob_table;
  if (h.version == wim::kVersionSolid && (table.flags & wim::kResFlagCompressed) == 0 &&
      in.Holds(table.offset, table.stored_size)) {
    constexpr std::uint64_t kFlags =
        offsetof(wim::TBlobEntryDisk, resource) + offsetof(wim::TResourceHeaderDisk, flags);
    for (std::uint64_t at = table.offset; table.offset + table.stored_size - at >= kBlobEntrySize;
         at += kBlobEntrySize)
      if (in.U8(at + kFlags) & wim::kResFlagSolid) RefuseSolid("entry at " + Hex(at));
  }
  const std::string flags =
      "its flags at " + Hex(offsetof(THeader, flags)) + " are " + Hex(h.flags);
  const std::string parts = "it is part " + Number(h.part_number) + " of " + Number(h.total_parts) +
                            " at " + Hex(offsetof(THeader, part_number));
  constexpr std::uint32_t kSplit =
      wim::kHeaderFlagSpanned | wim::kHeaderFlagResourceOnly | wim::kHeaderFlagMetadataOnly;
  if (h.total_parts > 1 || (h.flags & kSplit) != 0)
    NotSupported("The archive is one part of a split archive, which Marivane does not read",
                 h.total_parts > 1 ? parts : flags);
  if (h.part_number != 1 || h.total_parts != 1) Damaged(kHeaderDamaged, parts);
  if (h.flags & wim::kHeaderFlagWriteInProgress)
    Damaged("The archive was never finished", flags + ", still marked as being written");
  if ((h.flags & wim::kHeaderFlagCompression) == 0) {
    h.codec = TWimCodec::kNone;
    return;
  }
  std::uint32_t min_chunk = kMinLzxChunk, max_chunk = kMaxLzxChunk;
  switch (h.flags & (wim::kHeaderFlagCompressXpress | wim::kHeaderFlagCompressLzx |
                     wim::kHeaderFlagCompressLzms | wim::kHeaderFlagCompressXpress2)) {
    case wim::kHeaderFlagCompressLzx:
      h.codec = TWimCodec::kLzx;
      break;
    case wim::kHeaderFlagCompressXpress:
    case wim::kHeaderFlagCompressXpress2:
      h.codec = TWimCodec::kXpress;
      min_chunk = kMinXpressChunk;
      max_chunk = kMaxXpressChunk;
      break;
    case wim::kHeaderFlagCompressLzms:
      NotSupported("The archive is compressed with LZMS, which Marivane does not read", flags);
    default:
      Damaged(kHeaderDamaged, flags + ", which name no one kind of compression");
  }
  if (h.chunk_size < min_chunk || h.chunk_size > max_chunk ||
      (h.chunk_size & (h.chunk_size - 1)) != 0)
    Damaged(kHeaderDamaged, "its chunk size at " + Hex(offsetof(THeader, chunk_size)) + " is " +
                                Number(h.chunk_size) + ", not a power of two from " +
                                Number(min_chunk) + " to " + Number(max_chunk));
}

void TWimArchive::TOpening::CheckInArchive(const TResourceHeader& resource,
                                           const std::string& what) const {
  const std::uint64_t size = archive.wim_.size();
  if (resource.offset > size || size - resource.offset < resource.stored_size)
    Damaged(kCutShort, what + ", " + Placed(resource) + ", runs past its end at " + Hex(size));
}

void TWimArchive::TOpening::ReadBlobTable() {
  const TWimHeader& h = archive.header_;
  CheckInArchive(h.blob_table, "its table of contents");
  const std::vector<std::uint8_t> table = archive.ReadResource(h.blob_table, kTableOfContents);
  if (table.size() % kBlobEntrySize != 0)
    Damaged(kTableDamaged, "it is " + Number(table.size()) + " bytes long, not a whole number of " +
                               Number(kBlobEntrySize) + "-byte entries");
  const TByteReader rows(table, TableEnds);
  using TDisk = wim::TBlobEntryDisk;
  std::uint32_t lists = 0;
  for (std::uint64_t at = 0; at < table.size(); at += kBlobEntrySize) {
    TWimBlob blob;
    blob.resource = ResourceAt(rows, at + offsetof(TDisk, resource));
    blob.part_number = rows.U16(at + offsetof(TDisk, part_number));
    blob.reference_count = rows.U32(at + offsetof(TDisk, reference_count));
    blob.hash = HashAt(rows, at + offsetof(TDisk, hash));
    // Where the entry is: in the archive when the table is stored as it is.
    const bool raw = (h.blob_table.flags & wim::kResFlagCompressed) == 0;
    blob.entry_offset = raw ? h.blob_table.offset + at : at;
    const std::string place =
        "entry " + Number(at / kBlobEntrySize + 1) + " at " + Hex(blob.entry_offset);
    const TResourceHeader& resource = blob.resource;
    // Only the newer version has solid resources; wimlib ignores the flag in older archives.
    if (h.version == wim::kVersionSolid && (resource.flags & wim::kResFlagSolid) != 0)
      RefuseSolid(place);
    if (IsZero(blob.hash) || resource.uncompressed_size == 0) continue;  // wimlib ignores these
    if (blob.part_number != 1)
      Damaged(kTableDamaged,
              place + " belongs to part " + Number(blob.part_number) + " of a split archive");
    if ((resource.flags & wim::kResFlagCompressed) != 0 && h.codec == TWimCodec::kNone)
      Damaged(kTableDamaged, place + " is compressed, in an archive without compression");
    if ((resource.flags & wim::kResFlagCompressed) == 0 &&
        resource.stored_size != resource.uncompressed_size)
      Damaged(kTableDamaged, place + " is stored as it is in " + Number(resource.stored_size) +
                                 " bytes, but is " + Number(resource.uncompressed_size) +
                                 " bytes long");
    CheckInArchive(resource, "the data of " + place);
    if (blob.IsMetadata()) {
      // Lists nobody counts are ignored, as wimlib and WIMGAPI do (old WinPE archives have them).
      if (blob.reference_count == 0) continue;
      if (blob.reference_count != 1)
        Damaged(kTableDamaged,
                place + " counts its list of files " + Number(blob.reference_count) + " times");
      blob.references = 1;
      ++lists;
      archive.images_.push_back({archive.blobs_.size(), {}});
    } else if (!data.emplace(blob.hash, archive.blobs_.size()).second) {
      Damaged(kTableDamaged,
              place + " repeats the SHA-1 " + HashText(blob.hash) + " of an earlier entry");
    }
    archive.blobs_.push_back(blob);
  }
  if (lists != h.image_count)
    Damaged(kTableDamaged, "it holds " + Number(lists) + " lists of files, where the header at " +
                               Hex(offsetof(THeader, image_count)) + " counts " +
                               Number(h.image_count) + " images");
}

// No two resources may share bytes, nor any lie in the header: 7-Zip refuses such archives.
void TWimArchive::TOpening::CheckOverlaps() {
  struct TRange {
    std::uint64_t offset, size;
    std::string what;
  };
  const TWimHeader& h = archive.header_;
  std::vector<TRange> ranges = {
      {0, kHeaderSize, "the header"},
      {h.blob_table.offset, h.blob_table.stored_size, "the table of contents"},
      {h.xml_data.offset, h.xml_data.stored_size, "the XML description"}};
  for (std::size_t i = 0; i < archive.blobs_.size(); ++i) {
    const TWimBlob& blob = archive.blobs_[i];
    ranges.push_back({blob.resource.offset, blob.resource.stored_size,
                      "the data of the entry at " + Hex(blob.entry_offset)});
  }
  std::erase_if(ranges, [](const TRange& r) { return r.size == 0; });
  std::sort(ranges.begin(), ranges.end(),
            [](const TRange& a, const TRange& b) { return a.offset < b.offset; });
  for (std::size_t i = 1; i < ranges.size(); ++i) {
    const TRange& a = ranges[i - 1];
    const TRange& b = ranges[i];
    // Both lie inside the archive, so these sums cannot wrap.
    if (a.offset + a.size > b.offset)
      Damaged(kTableDamaged, a.what + " and " + b.what + " overlap at " + Hex(b.offset));
  }
}

void TWimArchive::TOpening::ReadImage(std::size_t index) {
  TWimImage& image = archive.images_[index];
  const TWimBlob& meta = archive.blobs_[image.metadata_blob];
  try {
    // Each list may expand to the cap, so they are held to it together: small forged lists
    // that each expand that far would otherwise cost minutes.
    listed_bytes += meta.resource.uncompressed_size;
    if (listed_bytes > kMaxWimResourceBytes)
      NotSupported("The archive's lists of files are larger than Marivane reads",
                   "they expand to more than " + Number(kMaxWimResourceBytes) + " bytes together");
    TSha1Digest hash;
    const std::vector<std::uint8_t> list = archive.ReadResource(meta.resource, kListOfFiles, &hash);
    if (hash != meta.hash)
      Damaged(kListDamaged, "its SHA-1 is " + HashText(hash) +
                                ", where the table of contents says " + HashText(meta.hash));
    const TByteReader fields(list, ListEnds);
    // The security block: its length, its count, a size for each descriptor, the descriptors.
    using TSecurity = wim::TSecurityBlockDisk;
    std::uint64_t length = fields.U32(offsetof(TSecurity, total_length), "its security block");
    const std::uint64_t count = fields.U32(offsetof(TSecurity, num_entries), "its security block");
    if (length == 0) length = kEmptySecurityBlock;
    length = marivane::AlignUp(length, kSecurityAlignment);
    std::uint64_t needed = sizeof(TSecurity) + 8 * count;
    if (length > list.size() || needed > length)
      Damaged(kListDamaged, "its security block is " + Number(length) + " bytes long for " +
                                Number(count) + " descriptors in a list of " + Number(list.size()) +
                                " bytes");
    for (std::uint64_t i = 0; i < count; ++i) {
      const std::uint64_t descriptor =
          fields.U64(sizeof(TSecurity) + 8 * i, "a security descriptor's size");
      if (descriptor > length - needed)  // needed <= length here, so nothing wraps
        Damaged(kListDamaged, "its security descriptors need more than the " + Number(length) +
                                  " bytes of the security block");
      needed += descriptor;
    }
    TTreeReader tree(list, count, data, archive.blobs_, entries);
    image.root = tree.ReadRoot(length);
  } catch (const EWimError& e) {
    throw EWimError(e.fault(), e.problem(), "image " + Number(index + 1) + ": " + e.detail());
  }
}

// A boot image's list of files is named twice: by the boot index and by a copy of its resource
// header. 7-Zip refuses an archive where the two disagree.
void TWimArchive::TOpening::CheckBoot() {
  const TWimHeader& h = archive.header_;
  const std::string index =
      "its boot index at " + Hex(offsetof(THeader, boot_index)) + " is " + Number(h.boot_index);
  if (h.boot_index > archive.images_.size())
    Damaged(kHeaderDamaged, index + ", but it holds " + Number(archive.images_.size()) + " images");
  if (h.boot_metadata == TResourceHeader{}) return;
  const std::string copy =
      "its boot image's list of files at " + Hex(offsetof(THeader, boot_metadata));
  if (h.boot_index == 0) Damaged(kHeaderDamaged, copy + " is given, but " + index);
  if (h.boot_metadata != archive.blobs_[archive.images_[h.boot_index - 1].metadata_blob].resource)
    Damaged(kHeaderDamaged, copy + " is not image " + Number(h.boot_index) + "'s");
}

TWimArchive::TWimArchive(std::span<const std::uint8_t> wim) : wim_(wim) {
  TOpening opening(*this);
  opening.ReadHeader();
  opening.CheckKind();
  if (header_.xml_data.stored_size != 0) {
    opening.CheckInArchive(header_.xml_data, "its XML description");
    xml_ = ReadResource(header_.xml_data, kXmlDescription);
  }
  opening.ReadBlobTable();
  opening.CheckOverlaps();
  for (std::size_t i = 0; i < images_.size(); ++i) opening.ReadImage(i);
  opening.CheckBoot();
}

// --- Resources ---

namespace {

// A compressed resource: a table of where each chunk but the first starts, counted from the
// table's end, then the chunks, each a stream of its own (so any run of them can be decoded
// apart from the rest).
class TChunkedResource {
 public:
  TChunkedResource(const TByteReader& in, const TResourceHeader& resource, const TWimHeader& header,
                   const std::string& damaged)
      : in_(in),
        resource_(resource),
        codec_(header.codec),
        chunk_(header.chunk_size),
        size_(resource.uncompressed_size),
        chunks_((size_ + chunk_ - 1) / chunk_),
        entry_(size_ > kMaxSmallResource ? 8 : 4),
        damaged_(damaged) {
    const std::uint64_t table = (chunks_ - 1) * entry_;
    if (resource.stored_size < table)
      Damaged(damaged_, "its chunk table of " + Number(table) + " bytes is longer than the " +
                            Number(resource.stored_size) + " bytes it is stored in");
    data_at_ = resource.offset + table;
    data_size_ = resource.stored_size - table;
  }

  std::uint64_t Chunks() const { return chunks_; }
  // The bytes of the first `chunks` chunks, all of them where that is all there are.
  std::uint64_t BytesOf(std::uint64_t chunks) const { return std::min(size_, chunks * chunk_); }

  // Decodes chunks [first, last) into their place in `out`, which holds the whole resource.
  void Decode(std::uint64_t first, std::uint64_t last, std::span<std::uint8_t> out) const {
    std::unique_ptr<TLzxDecompressor> lzx;
    std::unique_ptr<TXpressDecompressor> xpress;
    if (codec_ == TWimCodec::kLzx)
      lzx = std::make_unique<TLzxDecompressor>(chunk_);
    else
      xpress = std::make_unique<TXpressDecompressor>();
    std::uint64_t begin = first == 0 ? 0 : ChunkEnd(first - 1);
    for (std::uint64_t i = first; i < last; ++i) {
      const std::uint64_t end = ChunkEnd(i);
      const std::uint64_t length = std::min(chunk_, size_ - i * chunk_);
      const auto place = [&] {
        return "chunk " + Number(i + 1) + " of " + Number(chunks_) + " at " + Hex(data_at_ + begin);
      };
      if (end < begin || end > data_size_)
        Damaged(damaged_, place() + ": the chunk table has it end at " + Number(end) +
                              ", outside " + Number(begin) + " to " + Number(data_size_));
      const std::uint64_t stored = end - begin;
      if (stored == 0 || stored > length)
        Damaged(damaged_,
                place() + " is stored in " + Number(stored) + " bytes for its " + Number(length));
      const auto packed = in_.Bytes(data_at_ + begin, stored, "a chunk");
      const std::span<std::uint8_t> unpacked = out.subspan(i * chunk_, length);
      if (stored == length) {
        std::copy(packed.begin(), packed.end(), unpacked.begin());  // stored as it is
      } else {
        const std::string e =
            lzx ? lzx->DecodeChunk(packed, unpacked) : xpress->DecodeChunk(packed, unpacked);
        if (!e.empty()) Damaged(damaged_, place() + ": " + e);
      }
      begin = end;
    }
  }

 private:
  // Where chunk i ends in the data after the table: table entry i, or the data's end.
  std::uint64_t ChunkEnd(std::uint64_t i) const {
    if (i + 1 == chunks_) return data_size_;
    const std::uint64_t at = resource_.offset + i * entry_;
    return entry_ == 4 ? in_.U32(at, "a chunk table") : in_.U64(at, "a chunk table");
  }

  const TByteReader& in_;
  const TResourceHeader& resource_;
  const TWimCodec codec_;
  const std::uint64_t chunk_;
  const std::uint64_t size_;
  const std::uint64_t chunks_;
  const std::uint64_t entry_;
  const std::string& damaged_;
  std::uint64_t data_at_ = 0;
  std::uint64_t data_size_ = 0;
};

// Decodes a resource of many chunks in two halves at once, the second on a thread of its own:
// that about halves the wait for a picture. The hash of the first half is taken while the
// second is still being decoded. Where both halves fail, the first half's error is the one
// reported, as if read in order.
void DecodeInHalves(const TChunkedResource& resource, std::span<std::uint8_t> out,
                    TSha1Digest* hash) {
  const std::uint64_t chunks = resource.Chunks();
  std::uint64_t half = chunks;
  std::thread helper;
  std::exception_ptr helper_failed;
  if (chunks >= kChunksWorthAThread) {
    half = chunks / 2;
    try {
      helper = std::thread([&] {
        try {
          resource.Decode(half, chunks, out);
        } catch (...) {
          helper_failed = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
      half = chunks;  // no thread to be had: all on this one
    }
  }
  TSha1 sha1;
  const std::uint64_t first_bytes = resource.BytesOf(half);
  try {
    resource.Decode(0, half, out);
    if (hash) sha1.Update(out.first(first_bytes));
  } catch (...) {
    if (helper.joinable()) helper.join();
    throw;
  }
  if (helper.joinable()) helper.join();
  if (helper_failed) std::rethrow_exception(helper_failed);
  if (hash) {
    sha1.Update(out.subspan(first_bytes));
    *hash = sha1.Finish();
  }
}

}  // namespace

std::vector<std::uint8_t> TWimArchive::ReadResource(const TResourceHeader& resource,
                                                    const std::string& what,
                                                    TSha1Digest* hash) const {
  const TByteReader in(wim_, ArchiveEnds);
  const std::string damaged = Capitalized(what) + " is damaged";
  const std::uint64_t size = resource.uncompressed_size;
  if ((resource.flags & wim::kResFlagCompressed) == 0) {
    if (resource.stored_size != size)
      Damaged(damaged, "it is stored as it is in " + Number(resource.stored_size) +
                           " bytes but is " + Number(size) + " bytes long");
    const auto bytes = in.Bytes(resource.offset, size, "a resource");
    if (hash) *hash = Sha1Of(bytes);
    return {bytes.begin(), bytes.end()};
  }
  if (header_.codec == TWimCodec::kNone)
    Damaged(damaged, "it is compressed, in an archive without compression");
  if (size > kMaxWimResourceBytes)
    NotSupported(
        Capitalized(what) + " is larger than Marivane reads",
        "it expands to " + Number(size) + " bytes, more than " + Number(kMaxWimResourceBytes));
  if (size == 0) Damaged(damaged, "it is compressed but holds no bytes");
  in.Bytes(resource.offset, resource.stored_size, "a resource");

  const TChunkedResource chunked(in, resource, header_, damaged);
  std::vector<std::uint8_t> out(size);
  DecodeInHalves(chunked, out, hash);
  return out;
}

std::vector<std::uint8_t> TWimArchive::ReadFile(const TWimFile& file) const {
  if (file.blob == kNoBlob) return {};
  if (file.blob >= blobs_.size())
    throw std::invalid_argument("TWimArchive::ReadFile: a file of another archive");
  const TWimBlob& blob = blobs_[file.blob];
  const std::string what = "the data of " + NameText(file.name);
  TSha1Digest hash;
  std::vector<std::uint8_t> data = ReadResource(blob.resource, what, &hash);
  if (hash != blob.hash)
    Damaged(Capitalized(what) + " is damaged", "its SHA-1 is " + HashText(hash) +
                                                   ", where the table of contents says " +
                                                   HashText(blob.hash));
  return data;
}

}  // namespace imaging
