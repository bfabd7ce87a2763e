// Reads zarvik.exe (or zarvik32.exe) the way Windows Explorer does
// (version.dll, the loader's resource functions) and checks what a user and
// Windows see: the version numbers, the Polish strings in code page 1250, the
// file's own name, and a manifest for the exe's architecture that runs the
// console program without elevation.
//   version_check <zarvik.exe in the current directory> <major.minor.patch>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

int failures = 0;

void Check(bool ok, const char *what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
  if (!ok) ++failures;
}

std::wstring Widen(const char *text) {
  std::wstring out;
  for (const char *p = text; *p; ++p) out += static_cast<wchar_t>(static_cast<unsigned char>(*p));
  return out;
}

std::wstring QueryString(std::vector<unsigned char> &info, const wchar_t *name) {
  std::wstring path = L"\\StringFileInfo\\041504E2\\";
  path += name;
  void *value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(info.data(), path.c_str(), &value, &length) || length == 0) return L"";
  return std::wstring(static_cast<const wchar_t *>(value));
}

void CheckVersionInfo(const std::wstring &exe, unsigned major, unsigned minor, unsigned patch,
                      const std::wstring &versionText) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
  std::vector<unsigned char> info(size);
  Check(size > 0 && GetFileVersionInfoW(exe.c_str(), 0, size, info.data()) != 0, "the exe's version resource reads");
  if (size == 0) return;

  VS_FIXEDFILEINFO *fixed = nullptr;
  UINT length = 0;
  bool haveFixed = VerQueryValueW(info.data(), L"\\", reinterpret_cast<void **>(&fixed), &length) &&
                   length >= sizeof(VS_FIXEDFILEINFO) && fixed->dwSignature == 0xFEEF04BD;
  Check(haveFixed, "fixed file information present");
  if (haveFixed) {
    Check(fixed->dwFileVersionMS == ((major << 16) | minor) && fixed->dwFileVersionLS == (patch << 16),
          "file version equals the project version");
  }
  // The strings are read from the Polish, code page 1250 table (041504E2).

  Check(QueryString(info, L"FileVersion") == versionText, "FileVersion text");
  Check(QueryString(info, L"OriginalFilename") == exe, "OriginalFilename is the exe's name");
  // The letter s with acute accent is 0x9C in code page 1250 and must come
  // out as U+015B, not as the byte's Latin-1 reading.
  Check(QueryString(info, L"Comments").find(L"zawarto\u015Bci") != std::wstring::npos,
        "Polish letters of the comment decoded from code page 1250");
}

void CheckManifest(const std::wstring &exe) {
  HMODULE image = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  Check(image != nullptr, "the exe loads as a resource image");
  if (!image) return;
  HRSRC found = FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  Check(found != nullptr, "manifest resource 1 present");
  if (found) {
    DWORD size = SizeofResource(image, found);
    HGLOBAL loaded = LoadResource(image, found);
    const char *bytes = loaded ? static_cast<const char *>(LockResource(loaded)) : nullptr;
    std::string manifest = bytes ? std::string(bytes, size) : std::string();
    Check(manifest.find("level=\"asInvoker\"") != std::string::npos, "manifest asks for no elevation (asInvoker)");
    // A manifest of the other architecture stops Windows from starting the
    // exe. The image is mapped with its headers; the handle's low bits flag it.
    auto base = reinterpret_cast<const char *>(reinterpret_cast<uintptr_t>(image) & ~uintptr_t{3});
    WORD machine = reinterpret_cast<const IMAGE_NT_HEADERS *>(
                       base + reinterpret_cast<const IMAGE_DOS_HEADER *>(base)->e_lfanew)->FileHeader.Machine;
    const char *arch = machine == IMAGE_FILE_MACHINE_I386 ? "x86" : machine == IMAGE_FILE_MACHINE_AMD64 ? "amd64" : "?";
    Check(manifest.find("processorArchitecture=\"" + std::string(arch) + "\"") != std::string::npos,
          "manifest names the exe's architecture");
  }
  FreeLibrary(image);
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::printf("usage: version_check <zarvik.exe> <major.minor.patch>\n");
    return 2;
  }
  unsigned major = 0, minor = 0, patch = 0;
  if (std::sscanf(argv[2], "%u.%u.%u", &major, &minor, &patch) != 3) {
    std::printf("bad version %s\n", argv[2]);
    return 2;
  }
  std::wstring exe = Widen(argv[1]);
  CheckVersionInfo(exe, major, minor, patch, Widen(argv[2]));
  CheckManifest(exe);
  std::printf("%d failed\n", failures);
  return failures == 0 ? 0 : 1;
}
