// The library's own reader on archives from both writers: ours, through the WIMGAPI entry
// points, and wimlib-imagex's. Their files come back as the folder they were made from, or as
// `wimlib-imagex apply` gives them; kinds it does not read and damage end in the user's words,
// never in a crash.
#include "imaging/wim_reader.h"

#include <gtest/gtest.h>

#include <cstddef>

#include "archive_files.h"
#include "imaging/sha1.h"

namespace imaging {
namespace {

using namespace testing;

// Each file of `folder` equals the one at the same place under `tree`; counts them.
void ExpectFilesOf(const TWimArchive& archive, const TWimFile& folder, const stdfs::path& tree,
                   std::size_t& files) {
  for (const TWimFile& file : folder.children) {
    std::string name;
    ASSERT_TRUE(Utf16ToUtf8(file.name, name));
    if (file.is_directory) {
      ExpectFilesOf(archive, file, tree / name, files);
      continue;
    }
    ++files;
    EXPECT_TRUE(archive.ReadFile(file) == ReadFile(tree / name)) << tree / name;
  }
}

std::size_t CountFiles(const stdfs::path& tree) {
  std::size_t files = 0;
  for (const auto& entry : stdfs::recursive_directory_iterator(tree))
    files += entry.is_regular_file();
  return files;
}

struct ReaderCase {
  const char* name;
  std::function<void(const stdfs::path&)> fill;
  // wimlib-imagex capture's options, or nullptr for our own writer with `compression`.
  const char* wimlib;
  Compression compression = Compression::kLzx;
  const char* refusal = "";  // the problem a kind not read is refused with
};

void PrintTo(const ReaderCase& c, std::ostream* os) {
  *os << c.name;
}

class WimReader : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(WimReader, ReadsTheFilesTheIndependentToolsRead) {
  const ReaderCase& c = GetParam();
  TempDir tmp;
  const stdfs::path source = tmp.Path() / "source";
  stdfs::create_directories(source);
  c.fill(source);
  const stdfs::path wim = tmp.Path() / "out.wim";
  stdfs::path expected = source;
  if (c.wimlib) {
    const CommandResult capture = RunCommand("wimlib-imagex capture " + Quote(source) + " " +
                                             Quote(wim) + " --boot " + c.wimlib);
    ASSERT_EQ(capture.status, 0) << capture.output;
    if (!*c.refusal) {
      expected = tmp.Path() / "applied";
      const CommandResult apply =
          RunCommand("wimlib-imagex apply " + Quote(wim) + " 1 " + Quote(expected));
      ASSERT_EQ(apply.status, 0) << apply.output;
    }
  } else {
    ASSERT_EQ(Capture(source, wim, c.compression), 0u);
  }
  const Bytes bytes = ReadFile(wim);
  if (*c.refusal) {
    try {
      const TWimArchive archive(bytes);
      ADD_FAILURE() << "read without a refusal";
    } catch (const EWimError& e) {
      EXPECT_EQ(e.fault(), TWimFault::kNotSupported) << e.what();
      EXPECT_EQ(e.problem(), c.refusal) << e.what();
    }
    return;
  }
  const TWimArchive archive(bytes);
  ASSERT_EQ(archive.Images().size(), 1u);
  EXPECT_EQ(archive.Header().boot_index, 1u);
  std::size_t files = 0;
  ExpectFilesOf(archive, archive.Images()[0].root, expected, files);
  EXPECT_EQ(files, CountFiles(expected));
  // Both writers count every blob's references right; SmallTree has a blob named twice.
  for (const TWimBlob& blob : archive.Blobs()) EXPECT_EQ(blob.references, blob.reference_count);
}

INSTANTIATE_TEST_SUITE_P(
    Archives, WimReader,
    ::testing::Values(
        ReaderCase{"ours_photo_pair", PhotoPair, nullptr},
        ReaderCase{"ours_lzx_edges", LzxEdges, nullptr},
        ReaderCase{"ours_small_tree", SmallTree, nullptr},
        ReaderCase{"ours_uncompressed", SmallTree, nullptr, Compression::kNone},
        ReaderCase{"wimlib_none", SmallTree, "--compress=none"},
        ReaderCase{"wimlib_xpress", PhotoPair, "--compress=XPRESS"},
        ReaderCase{"wimlib_xpress_4k_chunks", LzxEdges, "--compress=XPRESS --chunk-size=4096"},
        ReaderCase{"wimlib_lzx", PhotoPair, "--compress=LZX"},
        ReaderCase{"wimlib_lzx_edges", LzxEdges, "--compress=LZX"},
        ReaderCase{"wimlib_lzx_64k_chunks", LzxEdges, "--compress=LZX --chunk-size=65536"},
        ReaderCase{"wimlib_lzx_2m_chunks", PhotoPair, "--compress=LZX --chunk-size=2M"},
        ReaderCase{"wimlib_lzms", SmallTree, "--compress=LZMS", Compression::kLzx,
                   "The archive is compressed with LZMS, which Marivane does not read"},
        ReaderCase{"wimlib_solid", SmallTree, "--solid", Compression::kLzx,
                   "The archive is a solid archive (an ESD file), which Marivane does not read"},
        ReaderCase{"wimlib_pipable", SmallTree, "--pipable", Compression::kLzx,
                   "The archive is a pipable WIM, which Marivane does not read"}),
    [](const ::testing::TestParamInfo<ReaderCase>& param) {
      return std::string(param.param.name);
    });

// --- Damage ---

const TWimFile& FileNamed(const TWimArchive& archive, const std::u16string& name) {
  for (const TWimFile& file : archive.Images()[0].root.children)
    if (file.name == name) return file;
  throw std::runtime_error("no such file in the test archive");
}

const TResourceHeader& DataOf(const TWimArchive& archive, const std::u16string& name) {
  return archive.Blobs()[FileNamed(archive, name).blob].resource;
}

// The archives damaged: the photo pair as a save writes it, a small pair stored as it is (the
// real sizes would not fit a boot screen file uncompressed), and a small tree stored as it is,
// whose list of files can be changed in place.
enum class Intact { kPhotoPair, kSmallPair, kSmallTree };

struct DamageCase {
  const char* name;
  Intact intact;
  std::function<void(Bytes& wim, const TWimArchive& intact)> damage;
  const char* problem;
  const char* detail_start = "";
};

// Where the list of files (stored as it is) has `file`'s entry, and its field at `field`.
std::size_t ListField(const TWimArchive& intact, const TWimFile& file, std::size_t field) {
  return intact.Blobs()[intact.Images()[0].metadata_blob].resource.offset + file.entry_offset +
         field;
}

// After a change to the list of files, its SHA-1 in the table of contents is made right again,
// so that the change itself is what the reader meets.
void Rehash(Bytes& wim, const TWimArchive& intact) {
  const TWimBlob& list = intact.Blobs()[intact.Images()[0].metadata_blob];
  const TSha1Digest hash =
      Sha1Of(std::span(wim).subspan(list.resource.offset, list.resource.stored_size));
  std::copy(hash.begin(), hash.end(),
            wim.begin() + std::ptrdiff_t(list.entry_offset + offsetof(wim::TBlobEntryDisk, hash)));
}

TEST(WimReaderDamage, SaysWhatIsWrongInTheUsersWords) {
  using TEntry = wim::TDentryDisk;
  const DamageCase cases[] = {
      {"a byte of a compressed chunk", Intact::kPhotoPair,
       [](Bytes& wim, const TWimArchive& intact) {
         const TResourceHeader& data = DataOf(intact, u"osload1024x768.bmp");
         wim[data.offset + data.stored_size / 2] ^= 0x10;
       },
       "The data of osload1024x768.bmp is damaged"},
      {"a hash in the table of contents", Intact::kPhotoPair,
       [](Bytes& wim, const TWimArchive& intact) {
         const TWimBlob& blob = intact.Blobs()[FileNamed(intact, u"osload800x600.bmp").blob];
         wim[blob.entry_offset + offsetof(wim::TBlobEntryDisk, hash) + 7] ^= 0x01;
       },
       "The data of osload800x600.bmp is missing from the archive", "image 1: its entry at 0x"},
      {"a byte of the list of files", Intact::kPhotoPair,
       [](Bytes& wim, const TWimArchive& intact) {
         // A flipped bit of a compressed stream may decode to the same bytes (an offset moved
         // within a run of zeros, of which the list has many): the first byte from the middle
         // on whose change the reader meets.
         const TResourceHeader& list = intact.Blobs()[intact.Images()[0].metadata_blob].resource;
         for (std::uint64_t at = list.offset + list.stored_size / 2;
              at < list.offset + list.stored_size; ++at) {
           wim[at] ^= 0x04;
           try {
             const TWimArchive unchanged(wim);
           } catch (const EWimError&) {
             return;
           }
           wim[at] ^= 0x04;
         }
       },
       "The archive's list of files is damaged", "image 1: "},
      {"the last byte cut off", Intact::kPhotoPair,
       [](Bytes& wim, const TWimArchive&) { wim.pop_back(); }, "The archive is cut short"},
      {"a chunk size no LZX archive has", Intact::kPhotoPair,
       [](Bytes& wim, const TWimArchive&) {
         wim[offsetof(wim::THeaderDisk, chunk_size) + 1] = 0x70;
       },
       "The archive's header is damaged", "its chunk size at 0x14 is 28672, not a power of two"},
      {"a byte of data stored as it is", Intact::kSmallPair,
       [](Bytes& wim, const TWimArchive& intact) {
         wim[DataOf(intact, u"osload800x600.bmp").offset + 4000] ^= 0x80;
       },
       "The data of osload800x600.bmp is damaged", "its SHA-1 is "},
      {"a folder whose list leads back to its parent's", Intact::kSmallTree,
       [](Bytes& wim, const TWimArchive& intact) {
         const std::size_t root_list =
             ListField(intact, intact.Images()[0].root, offsetof(TEntry, subdir_offset));
         const std::size_t sub_list =
             ListField(intact, FileNamed(intact, u"sub"), offsetof(TEntry, subdir_offset));
         std::copy_n(wim.begin() + std::ptrdiff_t(root_list), 8,
                     wim.begin() + std::ptrdiff_t(sub_list));
         Rehash(wim, intact);
       },
       "The archive's list of files is damaged",
       "image 1: the folder list at 0x78 is reached a second time"},
      {"a file named ..", Intact::kSmallTree,
       [](Bytes& wim, const TWimArchive& intact) {
         const TWimFile& file = FileNamed(intact, u"one.bin");
         wim[ListField(intact, file, offsetof(TEntry, name_bytes))] = 4;
         wim[ListField(intact, file, sizeof(TEntry))] = '.';
         wim[ListField(intact, file, sizeof(TEntry) + 2)] = '.';
         Rehash(wim, intact);
       },
       "The archive's list of files is damaged", "image 1: the entry at 0x"},
      {"two names that differ only in case", Intact::kSmallTree,
       [](Bytes& wim, const TWimArchive& intact) {
         wim[ListField(intact, FileNamed(intact, u"A.txt"), sizeof(TEntry))] = 'B';
         Rehash(wim, intact);
       },
       "The archive's list of files is damaged",
       "image 1: the folder list at 0x78 holds two files named \"B.txt\""},
  };
  for (const Intact kind : {Intact::kPhotoPair, Intact::kSmallPair, Intact::kSmallTree}) {
    TempDir tmp;
    const stdfs::path source = tmp.Path() / "source";
    if (kind == Intact::kPhotoPair) {
      PhotoPair(source);
    } else if (kind == Intact::kSmallPair) {
      WriteFile(source / "osload800x600.bmp", Bmp(160, 120, PhotoPixels(2)));
      WriteFile(source / "osload1024x768.bmp", Bmp(200, 150, PhotoPixels(3)));
    } else {
      SmallTree(source);
    }
    const Compression compression =
        kind == Intact::kPhotoPair ? Compression::kLzx : Compression::kNone;
    ASSERT_EQ(Capture(source, tmp.Path() / "out.wim", compression), 0u);
    const Bytes intact_bytes = ReadFile(tmp.Path() / "out.wim");
    const TWimArchive intact(intact_bytes);
    for (const DamageCase& c : cases) {
      if (c.intact != kind) continue;
      Bytes wim = intact_bytes;
      c.damage(wim, intact);
      try {
        const TWimArchive archive(wim);
        for (const TWimFile& file : archive.Images()[0].root.children) archive.ReadFile(file);
        ADD_FAILURE() << c.name << ": read without a fault";
      } catch (const EWimError& e) {
        EXPECT_EQ(e.fault(), TWimFault::kDamaged) << c.name << ": " << e.what();
        EXPECT_EQ(e.problem(), c.problem) << c.name << ": " << e.what();
        EXPECT_EQ(e.detail().rfind(c.detail_start, 0), 0u) << c.name << ": " << e.what();
        EXPECT_EQ(std::string(e.what()), e.problem() + " (" + e.detail() + ")");
      }
    }
  }
}

}  // namespace
}  // namespace imaging
