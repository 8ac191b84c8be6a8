// Pictures decoded by the Windows Imaging Component, which every Vista has: nothing new goes
// beside the program. Each call makes its own factory; a picture is imported now and then, and
// the factory costs far less than the decoding.
#include "platform/picture_decoder.h"

#include <windows.h>
#include <objbase.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/owned.h"
#include "platform/platform.h"
#include "platform/platform_win32.h"
#include "platform/win32_handles.h"

namespace marivane::platform {
namespace {

// COM for this thread while a picture is decoded. A thread that has it already in the other
// apartment kind (RPC_E_CHANGED_MODE) is fine as it is: WIC's objects live in either, and the
// call must then not be balanced by an uninitialisation of ours.
class TComScope : TNonCopyable {
 public:
  TComScope()
      : initialised_(SUCCEEDED(
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
  ~TComScope() {
    if (initialised_) CoUninitialize();
  }

 private:
  bool initialised_;
};

// The kind of picture the file starts as, as the texts name it; null for none an import takes.
// Wine's WIC gives up on a cut-short PNG as if it knew no decoder for it
// (WINCODEC_ERR_COMPONENTNOTFOUND): the first bytes tell a damaged picture from a file of
// another kind.
const char* KindOf(std::span<const std::uint8_t> head) {
  const auto starts = [&](std::initializer_list<std::uint8_t> magic) {
    return head.size() >= magic.size() && std::equal(magic.begin(), magic.end(), head.begin());
  };
  if (starts({0x89, 'P', 'N', 'G'})) return "PNG";
  if (starts({0xFF, 0xD8, 0xFF})) return "JPEG";
  if (starts({'G', 'I', 'F', '8'})) return "GIF";
  if (starts({'I', 'I', 42, 0}) || starts({'M', 'M', 0, 42})) return "TIFF";
  if (starts({'B', 'M'})) return "BMP";
  if (starts({0, 0, 1, 0})) return "ICO";
  return nullptr;
}

// The texts are those the Linux decoders give for the same faults. A file of a known kind in
// a layout WIC has no decoder or converter for (a 16-bit CMYK TIFF under Wine: 0x88982F80) is
// not supported rather than damaged.
[[noreturn]] void RaiseUndecodable(const std::string& path, std::span<const std::uint8_t> head,
                                   HRESULT result) {
  const char* kind = KindOf(head);
  if ((result == WINCODEC_ERR_COMPONENTNOTFOUND || result == WINCODEC_ERR_UNKNOWNIMAGEFORMAT) &&
      kind == nullptr)
    RefusePicture(path, "it is not a PNG, JPEG, GIF, TIFF, BMP or ICO picture");
  if (result == E_OUTOFMEMORY) RefusePicture(path, "there is not enough memory to read it");
  const std::string what = kind != nullptr ? kind : "picture";
  if (result == WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT || result == WINCODEC_ERR_UNSUPPORTEDOPERATION)
    RefusePicture(path, "this kind of " + what + " picture is not supported (error " +
                            HexCode(result) + ")");
  RefusePicture(path, "the " + what + " data is damaged (error " + HexCode(result) + ")");
}

}  // namespace

TDecodedPicture DecodePictureFile(const std::string& path) {
  // The same open as every other read: a missing file, a folder, a pipe or a device gets the
  // open error here, and nothing waits on a pipe. WIC then decodes these very bytes, the
  // ones the limits were checked on, from memory.
  std::vector<std::uint8_t> file;
  try {
    file = ReadWholeFile(path);
  } catch (const std::bad_alloc&) {
    RefusePicture(path, "there is not enough memory to read it");
  }
  CheckPictureLimits(file, path);
  const std::span<const std::uint8_t> head(file.data(), std::min<std::size_t>(file.size(), 8));
  const auto raise = [&](HRESULT result) { RaiseUndecodable(path, head, result); };

  TComScope com;
  IWICImagingFactory* made_factory = nullptr;
  // The version-1 factory is the one Vista has; WICImagingFactory2 came with Windows 8.
  const HRESULT created =
      CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                       IID_IWICImagingFactory, reinterpret_cast<void**>(&made_factory));
  if (FAILED(created))
    RefusePicture(path, "the Windows Imaging Component is not available (error " +
                            HexCode(created) + ")");
  const TComPointer<IWICImagingFactory> factory(made_factory);

  IWICStream* made_stream = nullptr;
  HRESULT result = factory.Get()->CreateStream(&made_stream);
  if (FAILED(result)) raise(result);
  const TComPointer<IWICStream> stream(made_stream);
  // The stream only reads the bytes, which outlive it.
  result = stream.Get()->InitializeFromMemory(const_cast<BYTE*>(file.data()),
                                              static_cast<DWORD>(file.size()));
  if (FAILED(result)) raise(result);
  IWICBitmapDecoder* made_decoder = nullptr;
  result = factory.Get()->CreateDecoderFromStream(stream.Get(), nullptr,
                                                  WICDecodeMetadataCacheOnDemand, &made_decoder);
  if (FAILED(result)) raise(result);
  const TComPointer<IWICBitmapDecoder> decoder(made_decoder);

  IWICBitmapFrameDecode* made_frame = nullptr;
  result = decoder.Get()->GetFrame(0, &made_frame);
  if (FAILED(result)) raise(result);
  const TComPointer<IWICBitmapFrameDecode> frame(made_frame);

  UINT width = 0;
  UINT height = 0;
  result = frame.Get()->GetSize(&width, &height);
  if (FAILED(result)) raise(result);
  // Past the cap the 32-bit process could not hold the pixels, and the stride below would
  // overflow.
  CheckPictureSize(path, width, height);

  // Every source goes through 32bppBGRA, whatever it holds: Wine converts a palette GIF to
  // 24bppBGR only to fail in CopyPixels (0x88982F81), and the alpha is ours to compose.
  IWICFormatConverter* made_converter = nullptr;
  result = factory.Get()->CreateFormatConverter(&made_converter);
  if (FAILED(result)) raise(result);
  const TComPointer<IWICFormatConverter> converter(made_converter);
  result = converter.Get()->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA,
                                       WICBitmapDitherTypeNone, nullptr, 0.0,
                                       WICBitmapPaletteTypeCustom);
  if (FAILED(result)) raise(result);

  TDecodedPicture picture;
  picture.width = static_cast<std::int32_t>(width);
  picture.height = static_cast<std::int32_t>(height);
  const UINT stride = width * 4;
  try {
    picture.bgra.resize(static_cast<std::size_t>(stride) * height);
  } catch (const std::bad_alloc&) {
    RefusePicture(path, "there is not enough memory to read it");
  }
  result = converter.Get()->CopyPixels(nullptr, stride, static_cast<UINT>(picture.bgra.size()),
                                       picture.bgra.data());
  if (FAILED(result)) raise(result);
  return picture;
}

}  // namespace marivane::platform
