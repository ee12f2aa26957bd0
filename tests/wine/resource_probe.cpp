// resource_probe EXE [--save TYPE ID FILE]: prints every resource of an
// executable as Windows itself finds it, the wizard dialog's template field
// by field (texts as UTF-8 and as the Shift-JIS bytes a program of this code
// page reads), and the manifest; --save also writes one resource's bytes
// (FindResourceA with the type name and the id) to FILE. The Wine tests
// compare the output with the expected one.
//
// resource_probe EXE --branding: what Explorer and the administrator prompt
// read of the file instead: each string of its version record
// (GetFileVersionInfoW), its version numbers, how many icons it has
// (ExtractIconExW) and the sizes of the first one, large and small.
#include <windows.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

HMODULE image;

std::string Name(LPCSTR name) {
  return IS_INTRESOURCE(name) ? std::to_string(uintptr_t(name))
                              : std::string(name);
}

BOOL CALLBACK EachLanguage(HMODULE module, LPCSTR type, LPCSTR name,
                           WORD language, LONG_PTR) {
  HRSRC found = FindResourceExA(module, type, name, language);
  std::printf("resource type=%s name=%s language=%u size=%lu\n",
              Name(type).c_str(), Name(name).c_str(), language,
              static_cast<unsigned long>(found ? SizeofResource(module, found) : 0));
  return TRUE;
}

BOOL CALLBACK EachName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR) {
  EnumResourceLanguagesA(module, type, name, EachLanguage, 0);
  return TRUE;
}

BOOL CALLBACK EachType(HMODULE module, LPSTR type, LONG_PTR) {
  EnumResourceNamesA(module, type, EachName, 0);
  return TRUE;
}

// Reads the template in order; every read is checked against its end.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool ok() const { return ok_; }
  uint16_t Word() {
    if (at_ + 2 > size_) return Fail();
    uint16_t value = uint16_t(data_[at_] | data_[at_ + 1] << 8);
    at_ += 2;
    return value;
  }
  uint32_t Dword() { return Word() | uint32_t(Word()) << 16; }
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : uint8_t(Fail()); }
  std::wstring Text() {
    std::wstring text;
    while (ok_)
      if (wchar_t c = wchar_t(Word())) text += c;
      else break;
    return text;
  }
  // A name or an ordinal, as dialog templates store menus and classes.
  std::string NameOrOrdinal() {
    const uint16_t first = Word();
    if (first == 0) return "none";
    if (first == 0xFFFF) {
      char ordinal[16];
      std::snprintf(ordinal, sizeof ordinal, "#%04x", Word());
      return ordinal;
    }
    at_ -= 2;
    return Describe(Text());
  }
  void AlignDword() { at_ = (at_ + 3) & ~size_t(3); }
  void Skip(size_t n) { at_ = at_ + n > size_ ? size_ : at_ + n; }

  // "UTF8 (sjis HEX)": the text and the ANSI bytes it becomes here.
  static std::string Describe(const std::wstring& text) {
    char utf8[1024] = {}, ansi[1024] = {};
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8, sizeof utf8,
                        nullptr, nullptr);
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, ansi, sizeof ansi,
                        nullptr, nullptr);
    std::string hex;
    for (const char* p = ansi; *p; ++p) {
      char pair[3];
      std::snprintf(pair, sizeof pair, "%02x", unsigned(uint8_t(*p)));
      hex += pair;
    }
    return std::string("\"") + utf8 + "\" (sjis " + hex + ")";
  }

 private:
  uint16_t Fail() {
    ok_ = false;
    return 0;
  }
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
  bool ok_ = true;
};

const uint8_t* Load(LPCSTR type, LPCSTR name, WORD language, DWORD* size) {
  HRSRC found = FindResourceExA(image, type, name, language);
  if (!found) return nullptr;
  *size = SizeofResource(image, found);
  return static_cast<const uint8_t*>(LockResource(LoadResource(image, found)));
}

bool PrintDialog() {
  DWORD size = 0;
  const uint8_t* data = Load(RT_DIALOG, MAKEINTRESOURCEA(101), 1041, &size);
  if (!data) {
    std::printf("dialog 101/1041 missing\n");
    return false;
  }
  Reader in(data, size);
  const uint16_t version = in.Word(), signature = in.Word();
  const uint32_t help = in.Dword(), exStyle = in.Dword(), style = in.Dword();
  const uint16_t items = in.Word();
  const int16_t x = in.Word(), y = in.Word(), cx = in.Word(), cy = in.Word();
  std::printf("dialog version=%u signature=%04x help=%u exstyle=%08x "
              "style=%08x items=%u rect=%d,%d,%d,%d\n",
              version, signature, help, exStyle, style, items, x, y, cx, cy);
  std::string menu = in.NameOrOrdinal();
  std::string windowClass = in.NameOrOrdinal();
  std::printf("dialog menu=%s class=%s\n", menu.c_str(), windowClass.c_str());
  std::printf("dialog title=%s\n", Reader::Describe(in.Text()).c_str());
  if (style & DS_SETFONT) {
    const uint16_t points = in.Word(), weight = in.Word();
    const uint8_t italic = in.Byte(), charset = in.Byte();
    std::printf("font points=%u weight=%u italic=%u charset=%u face=%s\n",
                points, weight, italic, charset,
                Reader::Describe(in.Text()).c_str());
  }
  for (unsigned i = 0; i < items && in.ok(); ++i) {
    in.AlignDword();
    const uint32_t itemHelp = in.Dword(), itemExStyle = in.Dword(),
                   itemStyle = in.Dword();
    const int16_t ix = in.Word(), iy = in.Word(), icx = in.Word(),
                  icy = in.Word();
    const uint32_t id = in.Dword();
    std::string itemClass = in.NameOrOrdinal();
    std::string title = in.NameOrOrdinal();
    const uint16_t extra = in.Word();
    in.Skip(extra);
    std::printf("control id=%u class=%s style=%08x exstyle=%08x help=%u "
                "rect=%d,%d,%d,%d extra=%u text=%s\n",
                id, itemClass.c_str(), itemStyle, itemExStyle, itemHelp, ix,
                iy, icx, icy, extra, title.c_str());
  }
  if (!in.ok()) std::printf("dialog template truncated\n");
  return in.ok();
}

bool PrintManifest() {
  DWORD size = 0;
  const uint8_t* data = Load(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1), 1033,
                             &size);
  if (!data) {
    std::printf("manifest 1/1033 missing\n");
    return false;
  }
  std::printf("manifest:\n");
  std::fwrite(data, 1, size, stdout);
  return true;
}

std::string Utf8(const wchar_t* text) {
  char utf8[2048] = {};
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
  return utf8;
}

// The width and height of an icon's colour bitmap (its mask's, for a
// monochrome one, is twice as high).
std::string IconSize(HICON icon) {
  ICONINFO info = {};
  BITMAP bitmap = {};
  if (!icon || !GetIconInfo(icon, &info)) return "none";
  HBITMAP shown = info.hbmColor ? info.hbmColor : info.hbmMask;
  GetObjectA(shown, sizeof bitmap, &bitmap);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  return std::to_string(bitmap.bmWidth) + "x" +
         std::to_string(info.hbmColor ? bitmap.bmHeight : bitmap.bmHeight / 2);
}

int PrintBranding(const char* path) {
  wchar_t wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(wide, &ignored);
  std::string record(size, '\0');
  if (!size || !GetFileVersionInfoW(wide, 0, size, &record[0])) {
    std::printf("version record missing\n");
  } else {
    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueW(&record[0], L"\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
      const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
      std::printf("version file=%lu.%lu.%lu.%lu product=%lu.%lu.%lu.%lu os=%08lx type=%lu\n",
                  fixed->dwFileVersionMS >> 16, fixed->dwFileVersionMS & 0xFFFF,
                  fixed->dwFileVersionLS >> 16, fixed->dwFileVersionLS & 0xFFFF,
                  fixed->dwProductVersionMS >> 16, fixed->dwProductVersionMS & 0xFFFF,
                  fixed->dwProductVersionLS >> 16, fixed->dwProductVersionLS & 0xFFFF,
                  fixed->dwFileOS, fixed->dwFileType);
    }
    if (VerQueryValueW(&record[0], L"\\VarFileInfo\\Translation", &value, &length) &&
        length >= 4) {
      const WORD* translation = static_cast<const WORD*>(value);
      std::printf("version translation=%04x %u\n", translation[0], translation[1]);
      for (const wchar_t* key : {L"CompanyName", L"FileDescription", L"FileVersion",
                                 L"OriginalFilename", L"ProductName", L"ProductVersion"}) {
        wchar_t query[128];
        wsprintfW(query, L"\\StringFileInfo\\%04x%04x\\%s", translation[0],
                  translation[1], key);
        const bool found = VerQueryValueW(&record[0], query, &value, &length);
        std::printf("version %s=%s\n", Utf8(key).c_str(),
                    found ? Utf8(static_cast<const wchar_t*>(value)).c_str() : "(missing)");
      }
    }
  }
  const UINT icons = ExtractIconExW(wide, -1, nullptr, nullptr, 0);
  HICON large = nullptr, small = nullptr;
  if (icons) ExtractIconExW(wide, 0, &large, &small, 1);
  std::printf("icons=%u first large=%s small=%s\n", icons, IconSize(large).c_str(),
              IconSize(small).c_str());
  if (large) DestroyIcon(large);
  if (small) DestroyIcon(small);
  return 0;
}

}  // namespace

bool Save(const char* type, int id, const char* path) {
  HRSRC found = FindResourceA(image, MAKEINTRESOURCEA(id), type);
  if (!found) return false;
  const DWORD size = SizeofResource(image, found);
  const void* data = LockResource(LoadResource(image, found));
  FILE* out = std::fopen(path, "wb");
  if (!data || !out) return false;
  const bool written = std::fwrite(data, 1, size, out) == size;
  return std::fclose(out) == 0 && written;
}

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  const bool save = argc == 6 && std::strcmp(argv[2], "--save") == 0;
  if (argc == 3 && std::strcmp(argv[2], "--branding") == 0) return PrintBranding(argv[1]);
  if (argc != 2 && !save) {
    std::fprintf(stderr, "usage: resource_probe EXE [--save TYPE ID FILE | --branding]\n");
    return 2;
  }
  image = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!image) {
    std::fprintf(stderr, "resource_probe: cannot load %s\n", argv[1]);
    return 2;
  }
  std::printf("code page=%u\n", GetACP());
  EnumResourceTypesA(image, EachType, 0);
  const bool dialog = PrintDialog();
  const bool manifest = PrintManifest();
  if (save && !Save(argv[3], std::atoi(argv[4]), argv[5])) {
    std::fprintf(stderr, "resource_probe: cannot save %s %s\n", argv[3], argv[4]);
    return 1;
  }
  return dialog && manifest ? 0 : 1;
}
