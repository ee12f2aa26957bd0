// The version record is a tree of nodes, each a 16-bit length, a value
// length, a type (0 binary, 1 text) and a UTF-16 key, its value and its
// children each on a 4-byte boundary: the fixed part with the numbers, then
// the strings of one language, then the translation that names it.
#include "pack/version_record.h"

#include "core/le.h"

namespace {

constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr uint32_t kFixedLayoutVersion = 0x00010000;
constexpr uint32_t kFileFlagsMask = 0x3F;
constexpr uint32_t kFileOsWindowsNt = 0x00040004;
constexpr uint32_t kFileTypeApplication = 1;
constexpr uint16_t kFixedSize = 52;
constexpr uint16_t kCodePageUtf16 = 1200;
// "041104b0": the string table's key, the language and code page in hex.
constexpr char16_t kStringTableKey[] = u"041104b0";
static_assert(kVersionRecordLanguage == 0x0411 && kCodePageUtf16 == 0x04B0);

class NodeWriter {
 public:
  explicit NodeWriter(std::vector<uint8_t>* out) : out_(*out) {}

  // Starts a node; its length is filled in by End.
  size_t Begin(std::u16string_view key, uint16_t valueLength, bool text) {
    Align();
    const size_t start = out_.size();
    Put16(0);
    Put16(valueLength);
    Put16(text ? 1 : 0);
    PutText(key);
    Align();
    return start;
  }
  // False when the node is longer than its length field holds.
  bool End(size_t start) {
    const size_t length = out_.size() - start;
    if (length > 0xFFFF) return false;
    StoreLe16(&out_[start], uint16_t(length));
    return true;
  }

  void Put16(uint16_t v) {
    out_.push_back(uint8_t(v));
    out_.push_back(uint8_t(v >> 8));
  }
  void Put32(uint32_t v) {
    Put16(uint16_t(v));
    Put16(uint16_t(v >> 16));
  }
  // The text and its NUL.
  void PutText(std::u16string_view text) {
    for (char16_t c : text) Put16(c);
    Put16(0);
  }
  void Align() { out_.resize((out_.size() + 3) & ~size_t(3), 0); }

 private:
  std::vector<uint8_t>& out_;
};

uint32_t High(const uint16_t numbers[4]) {
  return uint32_t(numbers[0]) << 16 | numbers[1];
}
uint32_t Low(const uint16_t numbers[4]) {
  return uint32_t(numbers[2]) << 16 | numbers[3];
}

}  // namespace

std::vector<uint8_t> BuildVersionRecord(const VersionRecord& record) {
  std::vector<uint8_t> out;
  NodeWriter w(&out);
  const size_t root = w.Begin(u"VS_VERSION_INFO", kFixedSize, false);
  w.Put32(kFixedSignature);
  w.Put32(kFixedLayoutVersion);
  w.Put32(High(record.fileVersionNumbers));
  w.Put32(Low(record.fileVersionNumbers));
  w.Put32(High(record.productVersionNumbers));
  w.Put32(Low(record.productVersionNumbers));
  w.Put32(kFileFlagsMask);
  w.Put32(0);  // flags: a release build
  w.Put32(kFileOsWindowsNt);
  w.Put32(kFileTypeApplication);
  w.Put32(0);  // subtype
  w.Put32(0);  // no date: the same inputs give the same bytes
  w.Put32(0);

  bool fits = true;
  const size_t strings = w.Begin(u"StringFileInfo", 0, true);
  const size_t table = w.Begin(kStringTableKey, 0, true);
  const std::pair<const char16_t*, const std::u16string*> fields[] = {
      {u"CompanyName", &record.companyName},
      {u"FileDescription", &record.fileDescription},
      {u"FileVersion", &record.fileVersion},
      {u"OriginalFilename", &record.originalFilename},
      {u"ProductName", &record.productName},
      {u"ProductVersion", &record.productVersion},
  };
  for (const auto& [key, value] : fields) {
    // The value length counts UTF-16 units, the NUL included.
    const size_t units = value->size() + 1;
    const size_t node = w.Begin(key, uint16_t(units > 0xFFFF ? 0 : units), true);
    w.PutText(*value);
    fits = units <= 0xFFFF && w.End(node) && fits;
  }
  fits = w.End(table) && w.End(strings) && fits;

  const size_t vars = w.Begin(u"VarFileInfo", 0, true);
  const size_t translation = w.Begin(u"Translation", 4, false);
  w.Put16(kVersionRecordLanguage);
  w.Put16(kCodePageUtf16);
  fits = w.End(translation) && w.End(vars) && w.End(root) && fits;
  if (!fits) out.clear();
  return out;
}

void PutVersionRecord(std::vector<PeResource>* resources,
                      const std::vector<uint8_t>& record) {
  std::erase_if(*resources, [](const PeResource& r) {
    return r.type.isId && r.type.id == kPeTypeVersion;
  });
  PeResource r;
  r.type = PeResourceName::Id(kPeTypeVersion);
  r.name = PeResourceName::Id(1);
  r.language = kVersionRecordLanguage;
  r.data = record.data();
  r.size = uint32_t(record.size());
  resources->push_back(r);
}

bool ParseVersionNumbers(std::string_view text, uint16_t numbers[4],
                         std::string* fault) {
  for (int i = 0; i < 4; ++i) numbers[i] = 0;
  size_t at = 0;
  for (int field = 0; field < 4; ++field) {
    if (field > 0) {
      if (at >= text.size() || text[at] != '.') break;
      ++at;
    }
    const size_t first = at;
    uint32_t value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
      value = value * 10 + uint32_t(text[at] - '0');
      if (value > 0xFFFF) {
        *fault = "its number " + std::to_string(field + 1) +
                 " is more than a version field holds (65535)";
        return false;
      }
      ++at;
    }
    if (at == first) break;
    numbers[field] = uint16_t(value);
  }
  return true;
}
