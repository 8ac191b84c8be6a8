// Archives written through the WIMGAPI entry points, read back by independent programs:
// wimlib-imagex (verify, apply, info) and 7-Zip (7zz t). Both must be on PATH.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <map>

#include "archive_files.h"
#include "imaging/lzx_decompressor.h"

namespace imaging {
namespace {

namespace stdfs = std::filesystem;
using namespace testing;

// --- Helpers ---

// The independent readers' verdicts on one archive made from `source`.
void ExpectReadersAccept(const stdfs::path& wim, const stdfs::path& source, Compression compression,
                         const stdfs::path& scratch) {
  const CommandResult verify = RunCommand("wimlib-imagex verify " + Quote(wim));
  EXPECT_EQ(verify.status, 0) << verify.output;

  const stdfs::path applied = scratch / "applied";
  const CommandResult apply = RunCommand("wimlib-imagex apply " + Quote(wim) + " 1 " + Quote(applied));
  ASSERT_EQ(apply.status, 0) << apply.output;
  ExpectSameTree(source, applied);

  const CommandResult test = RunCommand("7zz t " + Quote(wim));
  EXPECT_EQ(test.status, 0) << test.output;
  EXPECT_EQ(test.output.find("WARNING"), std::string::npos) << test.output;
  EXPECT_NE(test.output.find("Everything is Ok"), std::string::npos) << test.output;

  const CommandResult info = RunCommand("wimlib-imagex info --header " + Quote(wim));
  ASSERT_EQ(info.status, 0) << info.output;
  EXPECT_EQ(FieldValue(info.output, "Boot Index"), "1") << info.output;
  const bool lzx = info.output.find("WIM_HDR_FLAG_COMPRESS_LZX is set") != std::string::npos;
  EXPECT_EQ(lzx, compression == Compression::kLzx) << info.output;
  if (compression == Compression::kLzx) {
    EXPECT_EQ(FieldValue(info.output, "Chunk Size"), "32768") << info.output;
  }
}

// --- Round trips ---

struct ArchiveCase {
  const char* name;
  std::function<void(const stdfs::path&)> fill;
  Compression compression;
};

void PrintTo(const ArchiveCase& c, std::ostream* os) { *os << c.name; }

class ArchiveRoundTrip : public ::testing::TestWithParam<ArchiveCase> {};

TEST_P(ArchiveRoundTrip, IndependentReadersGetTheFilesBack) {
  TempDir tmp;
  ASSERT_FALSE(tmp.Path().empty());
  const stdfs::path source = tmp.Path() / "source";
  stdfs::create_directories(source);
  GetParam().fill(source);
  const stdfs::path wim = tmp.Path() / "out.wim";
  ASSERT_EQ(Capture(source, wim, GetParam().compression), 0u);
  ExpectReadersAccept(wim, source, GetParam().compression, tmp.Path());
}

void FlatPair(const stdfs::path& dir) {
  WritePair(dir, [](unsigned, unsigned) { return std::array<std::uint8_t, 3>{0x80, 0x20, 0x10}; });
}
void NoisePair(const stdfs::path& dir) {
  auto rng = std::make_shared<std::mt19937>(42);
  WritePair(dir, [rng](unsigned, unsigned) {
    const std::uint32_t v = (*rng)();
    return std::array<std::uint8_t, 3>{std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16)};
  });
}


void UncompressedPair(const stdfs::path& dir) {
  WriteFile(dir / "osload.bmp", Bmp(120, 90, PhotoPixels(5)));
  WriteFile(dir / "twice.bmp", Bmp(120, 90, PhotoPixels(5)));
  WriteFile(dir / "empty.bin", {});
}

INSTANTIATE_TEST_SUITE_P(
    Archives, ArchiveRoundTrip,
    ::testing::Values(ArchiveCase{"photo_pair", PhotoPair, Compression::kLzx},
                      ArchiveCase{"flat_pair", FlatPair, Compression::kLzx},
                      ArchiveCase{"noise_pair", NoisePair, Compression::kLzx},
                      ArchiveCase{"lzx_edges", LzxEdges, Compression::kLzx},
                      ArchiveCase{"small_tree", SmallTree, Compression::kLzx},
                      ArchiveCase{"uncompressed", UncompressedPair, Compression::kNone},
                      ArchiveCase{"small_tree_uncompressed", SmallTree, Compression::kNone}),
    [](const ::testing::TestParamInfo<ArchiveCase>& param) { return std::string(param.param.name); });

TEST(ArchiveContents, CountsAndBlobsMatchTheTree) {
  TempDir tmp;
  const stdfs::path source = tmp.Path() / "source";
  SmallTree(source);
  const stdfs::path wim = tmp.Path() / "out.wim";
  ASSERT_EQ(Capture(source, wim, Compression::kLzx), 0u);
  const CommandResult info = RunCommand("wimlib-imagex info " + Quote(wim) + " 1");
  ASSERT_EQ(info.status, 0) << info.output;
  // Folders include the root: source, sub, sub/deeper, sub/empty_folder.
  EXPECT_EQ(FieldValue(info.output, "Directory Count"), "4") << info.output;
  EXPECT_EQ(FieldValue(info.output, "File Count"), "7") << info.output;
  const std::uint64_t bytes = 1 + 0 + 3 * 100 + 100 + Bmp(31, 17, PhotoPixels(3)).size();
  EXPECT_EQ(FieldValue(info.output, "Total Bytes"), std::to_string(bytes)) << info.output;
  // Five distinct non-empty contents plus the metadata resource; the shared text has two refs.
  const CommandResult blobs = RunCommand("wimlib-imagex info --blobs " + Quote(wim));
  ASSERT_EQ(blobs.status, 0) << blobs.output;
  const std::vector<std::string> refs = FieldValues(blobs.output, "Reference Count");
  EXPECT_EQ(refs.size(), 6u) << blobs.output;
  EXPECT_EQ(std::count(refs.begin(), refs.end(), "2"), 1) << blobs.output;
  EXPECT_EQ(std::count(refs.begin(), refs.end(), "1"), 5) << blobs.output;
}

// --- Layout the readers are lenient about ---
// wimlib and 7-Zip accept unsorted folders and a boot entry that is not a copy of the image's
// metadata header; Windows may not, so those are checked on the bytes themselves.

template <typename T>
T le(const Bytes& b, std::size_t at) {
  T v{};
  if (at + sizeof(T) <= b.size()) std::memcpy(&v, &b[at], sizeof(T));
  return v;
}

struct Dentry {
  std::string name;  // ASCII test names only
  std::vector<Dentry> children;
};

// Walks a child list, checking lengths and alignment; returns false on any inconsistency.
bool ReadChildren(const Bytes& meta, std::uint64_t at, std::vector<Dentry>& out, std::uint64_t& consumed) {
  for (int guard = 0; guard < 1000; ++guard) {
    const auto len = le<std::uint64_t>(meta, at);
    if (len == 0) {
      consumed += 8;
      return true;
    }
    if (len % 8 != 0 || len < 102 || at + len > meta.size()) return false;
    consumed += len;
    Dentry d;
    const auto name_bytes = le<std::uint16_t>(meta, at + 0x64);
    for (std::size_t k = 0; k < name_bytes / 2u; ++k) d.name.push_back(char(meta[at + 0x66 + 2 * k]));
    if ((le<std::uint32_t>(meta, at + 0x08) & 0x10) != 0 &&
        !ReadChildren(meta, le<std::uint64_t>(meta, at + 0x10), d.children, consumed))
      return false;
    out.push_back(std::move(d));
    at += len;
  }
  return false;
}

TEST(ArchiveLayout, BootEntryCopiesMetadataHeaderAndFoldersAreSorted) {
  for (Compression compression : {Compression::kLzx, Compression::kNone}) {
    TempDir tmp;
    const stdfs::path source = tmp.Path() / "source";
    SmallTree(source);
    WriteFile(source / "_under", Bytes{1});
    WriteFile(source / "Z", Bytes{2});
    const stdfs::path wim = tmp.Path() / "out.wim";
    ASSERT_EQ(Capture(source, wim, compression), 0u);
    const Bytes file = ReadFile(wim);
    ASSERT_GE(file.size(), 208u);

    // +0x30 blob table header; metadata entries come first. +0x60 boot metadata header.
    const auto table_at = le<std::uint64_t>(file, 0x30 + 8);
    ASSERT_LT(table_at + 24, file.size());
    EXPECT_TRUE(std::equal(file.begin() + 0x60, file.begin() + 0x78, file.begin() + std::ptrdiff_t(table_at)));
    EXPECT_EQ(le<std::uint32_t>(file, 0x78), 1u);

    const std::uint64_t stored = le<std::uint64_t>(file, 0x60) & 0x00FFFFFFFFFFFFFFull;
    const auto flags = file[0x67];
    const auto meta_at = le<std::uint64_t>(file, 0x68);
    const auto meta_size = le<std::uint64_t>(file, 0x70);
    ASSERT_LE(meta_at + stored, file.size());
    ASSERT_LE(meta_size, 32768u) << "test expects a single-chunk metadata resource";
    Bytes meta(file.begin() + std::ptrdiff_t(meta_at), file.begin() + std::ptrdiff_t(meta_at + stored));
    if ((flags & 0x04) && stored < meta_size) {
      Bytes decoded(meta_size);
      ASSERT_EQ(TLzxDecompressor().DecodeChunk(meta, decoded), "");
      meta = decoded;
    }
    ASSERT_EQ(meta.size(), meta_size);

    // Empty security block, root at 8, an end marker after it, then the child lists.
    ASSERT_EQ(le<std::uint32_t>(meta, 0), 8u);
    const auto root_len = le<std::uint64_t>(meta, 8);
    ASSERT_EQ(root_len, 104u);
    EXPECT_EQ(le<std::uint64_t>(meta, 8 + root_len), 0u) << "end marker after the root";
    std::vector<Dentry> root;
    std::uint64_t consumed = 8 + root_len + 8;
    ASSERT_TRUE(ReadChildren(meta, le<std::uint64_t>(meta, 8 + 0x10), root, consumed));
    EXPECT_EQ(consumed, meta.size()) << "every byte belongs to a dentry or a marker";

    std::vector<std::string> names;
    for (const Dentry& d : root) names.push_back(d.name);
    const std::vector<std::string> expected = {"A.txt", "a2.txt", "b.txt", "empty.bin", "one.bin", "sub", "Z", "_under"};
    EXPECT_EQ(names, expected);
    ASSERT_EQ(root[5].children.size(), 3u);
    EXPECT_EQ(root[5].children[0].name, "deeper");
    EXPECT_EQ(root[5].children[1].name, "empty_folder");
    EXPECT_EQ(root[5].children[2].name, "inner.bmp");
  }
}

// --- Determinism ---

TEST(ArchiveIdentity, FixedGuidAndTimeGiveIdenticalBytes) {
  TempDir tmp;
  const stdfs::path source = tmp.Path() / "source";
  SmallTree(source);
  WritePair(source, PhotoPixels(9));
  // Reading a file or listing a folder may move its access time (relatime does when it is a
  // day old), so all times are pinned before each capture, after the walk that finds them.
  auto pin_times = [&] {
    const timespec times[2] = {{1700000000, 0}, {1600000000, 500}};
    std::vector<stdfs::path> paths{source};
    for (const auto& e : stdfs::recursive_directory_iterator(source)) paths.push_back(e.path());
    for (const stdfs::path& p : paths) ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
  };
  const TFixedIdentity fixed{{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, 0x01DD868382EC4FA8ull};
  pin_times();
  ASSERT_EQ(Capture(source, tmp.Path() / "a.wim", Compression::kLzx, true, fixed), 0u);
  pin_times();
  ASSERT_EQ(Capture(source, tmp.Path() / "b.wim", Compression::kLzx, true, fixed), 0u);
  pin_times();
  ASSERT_EQ(Capture(source, tmp.Path() / "c.wim", Compression::kLzx), 0u);
  const Bytes a = ReadFile(tmp.Path() / "a.wim");
  EXPECT_TRUE(a == ReadFile(tmp.Path() / "b.wim"));
  EXPECT_FALSE(a == ReadFile(tmp.Path() / "c.wim")) << "the fixed identity must show in the bytes";
}

// A time as wimlib-imagex shows it: whole seconds, UTC.
std::string ShownTime(std::time_t t) {
  std::tm tm{};
  ::gmtime_r(&t, &tm);
  char buf[64];
  std::strftime(buf, sizeof buf, "%a %b %d %H:%M:%S %Y UTC", &tm);
  return buf;
}

TEST(ArchiveIdentity, SameFilesGiveSameBytesAndTheirOwnWriteTimes) {
  TempDir tmp;
  const stdfs::path source = tmp.Path() / "source";
  SmallTree(source);
  constexpr std::time_t kDay = 86400, kBase = 1500000000;
  // Write times in days after kBase. A folder's own time counts only when it is empty; "sub"
  // is as new as deeper/copy.txt, the root as one.bin.
  const std::map<std::string, std::time_t> own = {
      {"", 1},      {"one.bin", 10},       {"empty.bin", 2},
      {"b.txt", 3}, {"A.txt", 4},          {"a2.txt", 5},
      {"sub", 0},   {"sub/inner.bmp", 6},  {"sub/empty_folder", 7},
      {"sub/deeper", 1},                   {"sub/deeper/copy.txt", 9}};
  const std::map<std::string, std::time_t> shown = {{"", 10}, {"sub", 9}, {"sub/deeper", 9}};
  // The access time moves between the captures: it must not reach the archive.
  auto set_times = [&](std::time_t accessed) {
    for (const auto& [path, days] : own) {
      const timespec times[2] = {{accessed, 0}, {kBase + days * kDay, 0}};
      ASSERT_EQ(::utimensat(AT_FDCWD, (source / path).c_str(), times, 0), 0) << path;
    }
  };
  set_times(1700000000);
  ASSERT_EQ(Capture(source, tmp.Path() / "a.wim", Compression::kLzx), 0u);
  set_times(1800000000);
  ASSERT_EQ(Capture(source, tmp.Path() / "b.wim", Compression::kLzx), 0u);
  EXPECT_TRUE(ReadFile(tmp.Path() / "a.wim") == ReadFile(tmp.Path() / "b.wim"));

  const CommandResult dir = RunCommand("wimlib-imagex dir --detailed " + Quote(tmp.Path() / "a.wim") + " 1");
  ASSERT_EQ(dir.status, 0) << dir.output;
  const auto paths = FieldValues(dir.output, "Full Path");
  const auto created = FieldValues(dir.output, "Creation Time");
  const auto written = FieldValues(dir.output, "Last Write Time");
  const auto accessed = FieldValues(dir.output, "Last Access Time");
  ASSERT_EQ(paths.size(), own.size()) << dir.output;
  ASSERT_TRUE(created.size() == paths.size() && written.size() == paths.size() && accessed.size() == paths.size());
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const std::string path = paths[i].substr(2, paths[i].size() - 3);  // "/sub/x" -> sub/x
    const std::time_t days = shown.count(path) ? shown.at(path) : own.at(path);
    EXPECT_EQ(written[i], ShownTime(kBase + days * kDay)) << path;
    EXPECT_EQ(created[i], written[i]) << path;
    EXPECT_EQ(accessed[i], written[i]) << path;
  }
  const CommandResult info = RunCommand("wimlib-imagex info " + Quote(tmp.Path() / "a.wim") + " 1");
  EXPECT_EQ(FieldValue(info.output, "Creation Time"), ShownTime(kBase + 10 * kDay)) << info.output;
  EXPECT_EQ(FieldValue(info.output, "Last Modification Time"), ShownTime(kBase + 10 * kDay)) << info.output;
}

// --- Refusals ---

TEST(CreateFile, RefusesWhatItCannotWrite) {
  TempDir tmp;
  const stdfs::path existing = tmp.Path() / "existing.wim";
  WriteFile(existing, Bytes{1});
  struct Case {
    const char* what;
    stdfs::path path;
    TDword access, disposition, compression, error;
  };
  const Case cases[] = {
      {"XPRESS", tmp.Path() / "x.wim", wimgapi::kGenericWrite, wimgapi::kCreateAlways, wimgapi::kCompressXpress, 87},
      {"unknown type", tmp.Path() / "u.wim", wimgapi::kGenericWrite, wimgapi::kCreateAlways, 3, 87},
      {"read only", tmp.Path() / "r.wim", wimgapi::kGenericRead, wimgapi::kCreateAlways, wimgapi::kCompressLzx, 5},
      {"bad disposition", tmp.Path() / "d.wim", wimgapi::kGenericWrite, 9, wimgapi::kCompressLzx, 87},
      {"open existing", existing, wimgapi::kGenericWrite, wimgapi::kOpenExisting, wimgapi::kCompressLzx, 120},
      {"create new over a file", existing, wimgapi::kGenericWrite, wimgapi::kCreateNew, wimgapi::kCompressLzx, 80},
      {"missing folder", tmp.Path() / "no" / "x.wim", wimgapi::kGenericWrite, wimgapi::kCreateAlways,
       wimgapi::kCompressLzx, 3},
  };
  for (const Case& c : cases) {
    THandle h = WIMCreateFile(Wide(c.path).c_str(), c.access, c.disposition, 0, c.compression, nullptr);
    EXPECT_EQ(h, nullptr) << c.what;
    EXPECT_EQ(LastError(), c.error) << c.what;
    if (c.path != existing) {
      EXPECT_FALSE(stdfs::exists(c.path)) << c.what;
    }
  }
  EXPECT_TRUE(ReadFile(existing) == Bytes{1}) << "a refused call must not touch an existing file";
}

TEST(CaptureImage, FailsCleanlyOnBadInput) {
  TempDir tmp;
  WriteFile(tmp.Path() / "file.bin", Bytes{1, 2, 3});
  const stdfs::path wim_path = tmp.Path() / "out.wim";
  THandle wim = WIMCreateFile(Wide(wim_path).c_str(), wimgapi::kGenericWrite, wimgapi::kCreateAlways, 0,
                              wimgapi::kCompressLzx, nullptr);
  ASSERT_NE(wim, nullptr);
  EXPECT_EQ(WIMCaptureImage(wim, Wide(tmp.Path() / "nowhere").c_str(), 0), nullptr);
  EXPECT_EQ(LastError(), 3u);
  EXPECT_EQ(WIMCaptureImage(wim, Wide(tmp.Path() / "file.bin").c_str(), 0), nullptr);
  EXPECT_EQ(LastError(), 267u);
  EXPECT_EQ(WIMSetBootImage(wim, 2), 0);
  EXPECT_EQ(LastError(), 87u);
  int not_a_handle = 0;
  EXPECT_EQ(WIMCaptureImage(&not_a_handle, Wide(tmp.Path()).c_str(), 0), nullptr);
  EXPECT_EQ(LastError(), 6u);
  EXPECT_EQ(WIMCloseHandle(&not_a_handle), 0);
  EXPECT_EQ(LastError(), 6u);
  ASSERT_NE(WIMCloseHandle(wim), 0);
  EXPECT_EQ(WIMCloseHandle(wim), 0) << "a handle closes once";
  EXPECT_EQ(LastError(), 6u);
}

// Links are followed like the folders and files they name. One that leads back into the tree
// would be walked without end, and the archive read into itself would grow without end: both
// fail, and the archive of a failed capture is gone after its handle is closed.
TEST(CaptureImage, RefusesLoopsAndItsOwnArchive) {
  struct Case {
    const char* what;
    std::function<void(const stdfs::path& source, const stdfs::path& wim)> arrange;
    bool wim_inside;
    TDword error;
  };
  const Case cases[] = {
      {"link to a sibling folder", [](auto& src, auto&) { stdfs::create_directory_symlink("sub", src / "alias"); },
       false, 0},
      {"link to the root", [](auto& src, auto&) { stdfs::create_directory_symlink(src, src / "sub" / "root"); },
       false, 1921},
      {"link to the parent",
       [](auto& src, auto&) { stdfs::create_directory_symlink("..", src / "sub" / "deeper" / "up"); }, false, 1921},
      {"links naming each other",
       [](auto& src, auto&) {
         stdfs::create_symlink("b", src / "a");
         stdfs::create_symlink("a", src / "b");
       },
       false, 1921},
      {"archive inside the folder", [](auto&, auto&) {}, true, 32},
      {"archive through a link",
       [](auto& src, auto& wim) { stdfs::create_symlink(wim, src / "sub" / "link.wim"); }, false, 32},
      {"archive through a hard link",
       [](auto& src, auto& wim) {
         WriteFile(wim, Bytes{1});
         stdfs::create_hard_link(wim, src / "hard.wim");
       },
       false, 32},
  };
  for (const Case& c : cases) {
    TempDir tmp;
    const stdfs::path source = tmp.Path() / "source";
    SmallTree(source);
    const stdfs::path wim = c.wim_inside ? source / "out.wim" : tmp.Path() / "out.wim";
    c.arrange(source, wim);
    EXPECT_EQ(Capture(source, wim, Compression::kLzx), c.error) << c.what;
    EXPECT_EQ(stdfs::exists(wim), c.error == 0) << c.what;
  }
}

TEST(UnsupportedCalls, ReturnZeroAndNotImplemented) {
  std::int64_t part_size = 0;
  const std::function<std::intptr_t()> calls[] = {
      [] { return std::intptr_t(WIMSetTemporaryPath(nullptr, u"/tmp")); },
      [] { return std::intptr_t(WIMSetReferenceFile(nullptr, u"x.swm", 0)); },
      [&] { return std::intptr_t(WIMSplitFile(nullptr, u"x.swm", &part_size, 0)); },
      [] { return std::intptr_t(WIMExportImage(nullptr, nullptr, 0)); },
      [] { return std::intptr_t(WIMDeleteImage(nullptr, 1)); },
      [] { return std::intptr_t(WIMGetImageCount(nullptr)); },
      [] { return reinterpret_cast<std::intptr_t>(WIMLoadImage(nullptr, 1)); },
      [] { return std::intptr_t(WIMApplyImage(nullptr, u"/tmp", 0)); },
      [] { return std::intptr_t(WIMMountImage(u"/mnt", u"x.wim", 1, u"/tmp")); },
      [] { return std::intptr_t(WIMUnmountImage(u"/mnt", u"x.wim", 1, 0)); },
  };
  for (std::size_t i = 0; i < std::size(calls); ++i) {
    EXPECT_EQ(calls[i](), 0) << "call " << i;
    EXPECT_EQ(LastError(), 120u) << "call " << i;
  }
}

}  // namespace
}  // namespace imaging
