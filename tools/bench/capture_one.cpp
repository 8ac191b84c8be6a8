// Bench driver: captures one folder into a bootable LZX WIM through the library's WIMGAPI
// entry points and prints the wall time of the whole call sequence in milliseconds.
#include <chrono>
#include <cstdio>
#include <string>

#include "imaging/imaging_api.h"
#include "imaging/utf.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s OUT.wim FOLDER\n", argv[0]);
    return 2;
  }
  std::u16string out, folder;
  if (!imaging::Utf8ToUtf16(argv[1], out) || !imaging::Utf8ToUtf16(argv[2], folder)) return 2;
  const auto start = std::chrono::steady_clock::now();
  imaging::THandle wim = imaging::WIMCreateFile(out.c_str(), wimgapi::kGenericWrite, wimgapi::kCreateAlways, 0,
                                                wimgapi::kCompressLzx, nullptr);
  if (!wim) {
    std::fprintf(stderr, "WIMCreateFile failed: %u\n", imaging::LastError());
    return 1;
  }
  imaging::THandle image = imaging::WIMCaptureImage(wim, folder.c_str(), 0);
  if (!image || !imaging::WIMSetBootImage(wim, 1) || !imaging::WIMCloseHandle(image) ||
      !imaging::WIMCloseHandle(wim)) {
    std::fprintf(stderr, "capture failed: %u\n", imaging::LastError());
    return 1;
  }
  const auto ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.1f\n", ms);
  return 0;
}
