// resource_probe MODULE OUT: loads MODULE the way the system's resource loader does, as a data
// file, and writes the bytes of its resource RCDATA 1 to OUT. Exit status 0 on success, 1 with
// a line on standard error naming the step that failed.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: resource_probe MODULE OUT\n", stderr);
    return 2;
  }
  HMODULE module = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) {
    std::fprintf(stderr, "LoadLibraryExA failed: %lu\n", GetLastError());
    return 1;
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
