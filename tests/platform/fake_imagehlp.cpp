// A stand-in imagehlp.dll that maps a file and sums nothing, and has no UnMapAndLoad: the
// checksum must then let go of the mapping itself and say which function was missing.
#include <windows.h>
#include <imagehlp.h>

extern "C" {

__declspec(dllexport) BOOL WINAPI MapAndLoad(PCSTR path, PCSTR, PLOADED_IMAGE image, BOOL, BOOL) {
  // Others may read, not write: a file still held here cannot be rewritten.
  const HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  const HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  void* view = mapping != nullptr ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
  if (mapping != nullptr) CloseHandle(mapping);
  if (view == nullptr) {
    CloseHandle(file);
    return FALSE;
  }
  *image = {};
  image->hFile = file;
  image->MappedAddress = static_cast<PUCHAR>(view);
  image->SizeOfImage = GetFileSize(file, nullptr);
  return TRUE;
}

__declspec(dllexport) PIMAGE_NT_HEADERS WINAPI CheckSumMappedFile(PVOID base, DWORD, PDWORD stored,
                                                                 PDWORD computed) {
  *stored = 0;
  *computed = 0x1234;
  return static_cast<PIMAGE_NT_HEADERS>(base);
}
}
