// resource_probe MODULE OUT: loads MODULE the way the system's resource loader does, as a data
// file, and writes the bytes of its resource RCDATA 1 to OUT. Exit status 0 on success, 1 with
// a line on standard error naming the step that failed.
//
// resource_probe MODULE OUT TYPE/NAME/LANG...: writes each named resource (numbers, or names
// as the loader looks them up) to OUT.0, OUT.1, ... in the order given, found with
// FindResourceExA in exactly that language, then prints what GetFileVersionInfo and
// VerQueryValue read from the module: "version MS LS translation LANGCP" in hex.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// "16" is an ID, anything else a name; the loader upper-cases names itself.
LPCSTR KeyPart(const std::string& part) {
  char* end = nullptr;
  const unsigned long id = std::strtoul(part.c_str(), &end, 0);
  return (!part.empty() && *end == '\0') ? MAKEINTRESOURCEA(id) : part.c_str();
}

bool WriteResource(HMODULE module, const std::string& spec, const std::string& out_path) {
  const auto first = spec.find('/');
  const auto second = spec.find('/', first + 1);
  if (first == std::string::npos || second == std::string::npos) {
    std::fprintf(stderr, "bad resource spec %s\n", spec.c_str());
    return false;
  }
  const std::string type = spec.substr(0, first);
  const std::string name = spec.substr(first + 1, second - first - 1);
  const auto language = static_cast<WORD>(std::strtoul(spec.c_str() + second + 1, nullptr, 0));
  HRSRC resource = FindResourceExA(module, KeyPart(type), KeyPart(name), language);
  if (resource == nullptr) {
    std::fprintf(stderr, "FindResourceExA %s failed: %lu\n", spec.c_str(), GetLastError());
    return false;
  }
  const DWORD size = SizeofResource(module, resource);
  HGLOBAL loaded = LoadResource(module, resource);
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr && size != 0) {
    std::fprintf(stderr, "LoadResource/LockResource %s failed: %lu\n", spec.c_str(), GetLastError());
    return false;
  }
  FILE* out = std::fopen(out_path.c_str(), "wb");
  if (out == nullptr || std::fwrite(bytes, 1, size, out) != size || std::fclose(out) != 0) {
    std::fprintf(stderr, "cannot write %s out\n", spec.c_str());
    return false;
  }
  return true;
}

bool PrintVersion(const char* path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  std::vector<char> info(size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  DWORD* translation = nullptr;
  UINT length = 0;
  if (size == 0 || !GetFileVersionInfoA(path, 0, size, info.data()) ||
      !VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length) ||
      !VerQueryValueA(info.data(), "\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translation), &length) ||
      length < sizeof(DWORD)) {
    std::fprintf(stderr, "the version resource does not read back: %lu\n", GetLastError());
    return false;
  }
  std::printf("version %08lX %08lX translation %08lX\n", fixed->dwFileVersionMS,
              fixed->dwFileVersionLS, *translation);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: resource_probe MODULE OUT [TYPE/NAME/LANG...]\n", stderr);
    return 2;
  }
  HMODULE module = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) {
    std::fprintf(stderr, "LoadLibraryExA failed: %lu\n", GetLastError());
    return 1;
  }
  if (argc > 3) {
    bool ok = true;
    for (int i = 3; i < argc; ++i)
      ok = WriteResource(module, argv[i], std::string(argv[2]) + "." + std::to_string(i - 3)) && ok;
    FreeLibrary(module);
    return ok && PrintVersion(argv[1]) ? 0 : 1;
  }
  HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(10));  // RT_RCDATA
  if (resource == nullptr) {
    std::fprintf(stderr, "FindResourceA failed: %lu\n", GetLastError());
    return 1;
  }
  const DWORD size = SizeofResource(module, resource);
  HGLOBAL loaded = LoadResource(module, resource);
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr) {
    std::fprintf(stderr, "LoadResource/LockResource failed: %lu\n", GetLastError());
    return 1;
  }
  FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr || std::fwrite(bytes, 1, size, out) != size || std::fclose(out) != 0) {
    std::fputs("cannot write the resource out\n", stderr);
    return 1;
  }
  FreeLibrary(module);
  return 0;
}
