// Code page 932 conversions through the C library's iconv. File names and
// arguments are taken as UTF-8.
#include <iconv.h>

#include <cerrno>

#include "codepage.h"

namespace {

// One iconv descriptor for the length of a conversion.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts all of `text`; stops at the first byte that has no conversion
  // unless `replacement` is given, which then stands for that byte.
  std::optional<std::string> Run(std::string_view text,
                                 const char* replacement = nullptr) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out;
    char buffer[256];
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    while (inLeft) {
      char* next = buffer;
      size_t room = sizeof buffer;
      const size_t result = iconv(cd_, &in, &inLeft, &next, &room);
      out.append(buffer, static_cast<size_t>(next - buffer));
      if (result != static_cast<size_t>(-1) || errno == E2BIG) continue;
      if (!replacement) return std::nullopt;
      // EILSEQ, or EINVAL for a lead byte cut off at the end.
      out += replacement;
      ++in;
      --inLeft;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::string Cp932ToUtf8(std::string_view text) {
  return *Converter("UTF-8", "CP932").Run(text, "\xEF\xBF\xBD");
}

std::optional<std::string> FileNameToCp932(const std::filesystem::path& name) {
  return Utf8ToCp932(name.native());
}

std::optional<std::filesystem::path> Cp932ToFileName(std::string_view name) {
  auto text = Converter("UTF-8", "CP932").Run(name);
  if (!text) return std::nullopt;
  return std::filesystem::path(*text);
}

std::optional<std::string> NarrowPath(const std::filesystem::path& path) {
  return path.native();
}

std::optional<std::string> Utf8ToCp932(std::string_view text) {
  return Converter("CP932", "UTF-8").Run(text);
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void PrepareConsole() {}
