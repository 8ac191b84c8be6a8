// The platform layer on Linux: plain POSIX files and the C library's error texts. There is no
// screen to draw on, so a displayable image only records that the system would take it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "builder/errors.h"
#include "platform/platform.h"

namespace marivane::platform {
namespace {

class TPosixFileStream final : public TStream {
 public:
  TPosixFileStream(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  ~TPosixFileStream() override { ::close(fd_); }
  TPosixFileStream(const TPosixFileStream&) = delete;
  TPosixFileStream& operator=(const TPosixFileStream&) = delete;

  std::size_t Read(void* buffer, std::size_t count) override {
    std::size_t total = 0;
    while (total < count) {
      const ssize_t n = ::read(fd_, static_cast<char*>(buffer) + total, count - total);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // a read error counts as the end of the data
      total += static_cast<std::size_t>(n);
    }
    position_ += total;
    return total;
  }
  std::uint64_t Size() const override { return size_; }
  std::uint64_t Position() const override { return position_; }

 private:
  int fd_;
  std::uint64_t size_;
  std::uint64_t position_ = 0;
};

class TRecordedImage final : public TDisplayImage {};

}  // namespace

std::string SystemErrorText(std::uint32_t code) {
  char buffer[256];
  // The GNU variant may return a static string instead of filling the buffer.
  return strerror_r(static_cast<int>(code), buffer, sizeof buffer);
}

std::unique_ptr<TStream> OpenFileForReading(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw EFOpenError(CannotOpenFileMessage(path, static_cast<std::uint32_t>(errno)));
  struct stat info {};
  int error = 0;
  if (::fstat(fd, &info) != 0) error = errno;
  // Opening a folder succeeds here but not on Windows; either way it is no picture file.
  else if (S_ISDIR(info.st_mode)) error = EISDIR;
  if (error != 0) {
    ::close(fd);
    throw EFOpenError(CannotOpenFileMessage(path, static_cast<std::uint32_t>(error)));
  }
  return std::make_unique<TPosixFileStream>(fd, static_cast<std::uint64_t>(info.st_size));
}

std::shared_ptr<TDisplayImage> CreateBitmapImage(TBitmapImageSpec) {
  return std::make_shared<TRecordedImage>();
}

std::shared_ptr<TDisplayImage> CreateIconImage(const std::vector<std::uint8_t>& image, int, int) {
  // An icon image is a DIB (its header starts with its size, 40) or a PNG.
  static constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  const bool dib = image.size() >= 40 && LoadU32(image.data()) == 40;
  const bool png = image.size() >= 8 && std::memcmp(image.data(), kPngSignature, 8) == 0;
  return dib || png ? std::make_shared<TRecordedImage>() : nullptr;
}

std::shared_ptr<TDisplayImage> CreateMetafileImage(const std::vector<std::uint8_t>& records,
                                                   bool enhanced) {
  if (enhanced) {
    // +4: the header record's own size, at least the 88 bytes of its oldest form.
    const std::uint32_t header_size = LoadU32(&records[4]);
    if (header_size < 88 || header_size > records.size()) return nullptr;
  }
  return std::make_shared<TRecordedImage>();
}

int ScreenPixelsPerInch() { return 96; }
int SystemIconSize() { return 32; }

}  // namespace marivane::platform
