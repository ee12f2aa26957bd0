// Writes the patch benchmark's generated pairs, the same bytes on every run:
// DIR/NAME.old and DIR/NAME.new for
// - assets.pak: a game's archive of 600 assets (compressed voices, music
//   and pictures, interface bitmaps, Shift-JIS scripts, data tables), and
//   its next version: 12 assets changed as an update changes them, 5
//   added, 3 dropped, so that every later offset in the directory moves;
// - scenario.txt: a 1.7 MB Shift-JIS script with 40 lines rewritten.
// Usage: make_patch_corpus DIR
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "corpus.h"

namespace {

using Bytes = std::vector<uint8_t>;

void PutLe32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

// What an encoder leaves: bytes no compressor shrinks, in the container's
// pages (Ogg: a page header every 4 KiB) or chunks (PNG).
Bytes Encoded(const char* kind, size_t size, std::mt19937& rng) {
  Bytes out;
  if (std::strcmp(kind, "ogg") == 0) {
    const uint32_t serial = rng();
    for (uint32_t page = 0; out.size() < size; ++page) {
      const char head[] = "OggS\0";
      out.insert(out.end(), head, head + 6);
      PutLe32(out, page * 1024);  // granule position
      PutLe32(out, 0);
      PutLe32(out, serial);
      PutLe32(out, page);
      PutLe32(out, rng());  // checksum
      for (size_t i = 0; i < 4000; ++i) out.push_back(uint8_t(rng()));
    }
  } else {
    const uint8_t head[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H',
                            'D', 'R', 0, 0, 2, 0, 0, 0, 1, 0x80, 8, 6, 0, 0, 0};
    out.assign(head, head + sizeof head);
    PutLe32(out, rng());
    while (out.size() < size) out.push_back(uint8_t(rng()));
  }
  out.resize(size);
  return out;
}

// Records of a data table: an id, small numbers and a name.
Bytes Table(size_t records, std::mt19937& rng) {
  static const char* names[] = {"sword", "shield", "potion", "ether", "key", "map", "ring",
                                "scroll", "lamp", "rope"};
  Bytes out;
  for (size_t r = 0; r < records; ++r) {
    PutLe32(out, uint32_t(1000 + r));
    for (int i = 0; i < 4; ++i) PutLe32(out, rng() % (i == 0 ? 9999 : 100));
    char name[12] = {};
    std::snprintf(name, sizeof name, "%s%02u", names[rng() % 10], unsigned(rng() % 100));
    out.insert(out.end(), name, name + sizeof name);
  }
  return out;
}

struct Asset {
  std::string name;
  Bytes bytes;
};

Asset MakeAsset(size_t i, std::mt19937& rng) {
  char name[40];
  if (i < 200) {
    std::snprintf(name, sizeof name, "voice/v%04zu.ogg", i);
    return {name, Encoded("ogg", 10000 + rng() % 50000, rng)};
  }
  if (i < 240) {
    std::snprintf(name, sizeof name, "bgm/track%02zu.ogg", i - 200);
    return {name, Encoded("ogg", 150000 + rng() % 100000, rng)};
  }
  if (i < 390) {
    std::snprintf(name, sizeof name, "cg/ev%03zu.png", i - 240);
    return {name, Encoded("png", 10000 + rng() % 70000, rng)};
  }
  if (i < 450) {
    std::snprintf(name, sizeof name, "ui/parts%02zu.bmp", i - 390);
    return {name, Bitmap(64 + int(rng() % 64), 64 + int(rng() % 32), 1, rng())};
  }
  if (i < 550) {
    std::snprintf(name, sizeof name, "scenario/s%03zu.ks", i - 450);
    return {name, ScriptText(5000 + rng() % 15000, rng())};
  }
  std::snprintf(name, sizeof name, "data/table%02zu.dat", i - 550);
  return {name, Table(50 + rng() % 250, rng)};
}

// The archive: a count, a directory of 48-byte records (name, offset,
// size), then the assets in directory order.
Bytes Pack(const std::vector<Asset>& assets) {
  Bytes out = {'P', 'A', 'K', '1'};
  PutLe32(out, uint32_t(assets.size()));
  uint32_t offset = uint32_t(8 + 48 * assets.size());
  for (const Asset& a : assets) {
    char name[40] = {};
    std::memcpy(name, a.name.data(), std::min(a.name.size(), sizeof name - 1));
    out.insert(out.end(), name, name + sizeof name);
    PutLe32(out, offset);
    PutLe32(out, uint32_t(a.bytes.size()));
    offset += uint32_t(a.bytes.size());
  }
  for (const Asset& a : assets) out.insert(out.end(), a.bytes.begin(), a.bytes.end());
  return out;
}

// Splits Shift-JIS text into its CR LF lines (each with its end).
std::vector<Bytes> Lines(const Bytes& text) {
  std::vector<Bytes> lines(1);
  for (size_t i = 0; i < text.size(); ++i) {
    lines.back().push_back(text[i]);
    if (text[i] == '\n' && i + 1 < text.size()) lines.emplace_back();
  }
  return lines;
}

// The script with `count` dialogue lines rewritten, as a writer's fixes do.
Bytes Rewrite(const Bytes& text, size_t count, uint32_t seed) {
  std::vector<Bytes> lines = Lines(text);
  std::mt19937 rng(seed);
  for (size_t done = 0; done < count;) {
    Bytes& line = lines[rng() % lines.size()];
    if (line.empty() || line[0] == '@' || line[0] == '*') continue;
    // A new line of dialogue from the same writer's phrases.
    std::vector<Bytes> fresh = Lines(ScriptText(400, rng()));
    for (const Bytes& f : fresh) {
      if (!f.empty() && f[0] != '@' && f[0] != '*' && f.back() == '\n') {
        line = f;
        ++done;
        break;
      }
    }
  }
  Bytes out;
  for (const Bytes& l : lines) out.insert(out.end(), l.begin(), l.end());
  return out;
}

// The archive keeps its assets sorted by name.
Bytes SortedPack(std::vector<Asset> assets) {
  std::sort(assets.begin(), assets.end(),
            [](const Asset& a, const Asset& b) { return a.name < b.name; });
  return Pack(assets);
}

std::pair<Bytes, Bytes> AssetPacks() {
  std::mt19937 rng(19);
  std::vector<Asset> assets;
  for (size_t i = 0; i < 600; ++i) assets.push_back(MakeAsset(i, rng));
  const Bytes before = SortedPack(assets);

  // Changed: two voices recorded again, two pictures (one retouched, so
  // its encoding changes from the edit on), one interface bitmap repainted
  // in part, four scripts with lines rewritten, two tables with records
  // changed, one music track cut shorter.
  for (size_t v : {17u, 123u}) assets[v].bytes = Encoded("ogg", 12000 + rng() % 30000, rng);
  {
    Bytes& cg = assets[260].bytes;
    Bytes tail = Encoded("png", cg.size() * 7 / 10, rng);
    std::copy(tail.begin(), tail.end(), cg.end() - std::ptrdiff_t(tail.size()));
    assets[301].bytes = Encoded("png", 20000 + rng() % 40000, rng);
  }
  {
    Bytes& ui = assets[400].bytes;
    const Bytes repaint = Bitmap(64, 64, 1, 77);
    std::copy(repaint.begin() + 54, repaint.begin() + 54 + 3000, ui.begin() + 200);
  }
  for (size_t s : {455u, 470u, 502u, 549u}) assets[s].bytes = Rewrite(assets[s].bytes, 5, uint32_t(s));
  for (size_t t : {560u, 590u}) {
    Bytes& table = assets[t].bytes;
    for (int k = 0; k < 6; ++k) table[(rng() % (table.size() / 32)) * 32 + 4] ^= uint8_t(1 + rng() % 255);
  }
  assets[210].bytes.resize(assets[210].bytes.size() - 40000);
  // Dropped and added.
  for (size_t d : {480u, 333u, 90u}) assets.erase(assets.begin() + std::ptrdiff_t(d));
  std::mt19937 fresh(23);
  assets.push_back({"voice/v0200.ogg", Encoded("ogg", 15000 + fresh() % 30000, fresh)});
  assets.push_back({"voice/v0201.ogg", Encoded("ogg", 15000 + fresh() % 30000, fresh)});
  assets.push_back({"cg/ev150.png", Encoded("png", 30000, fresh)});
  assets.push_back({"scenario/s100.ks", ScriptText(12000, fresh())});
  assets.push_back({"data/table50.dat", Table(120, fresh)});
  return {before, SortedPack(assets)};
}

bool Write(const std::string& path, const Bytes& bytes) {
  FILE* out = std::fopen(path.c_str(), "wb");
  return out && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size() &&
         std::fclose(out) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_patch_corpus DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  const auto [packOld, packNew] = AssetPacks();
  const Bytes script = ScriptText(1700000, 31);
  const Bytes rewritten = Rewrite(script, 40, 32);
  if (!Write(dir + "/assets.pak.old", packOld) || !Write(dir + "/assets.pak.new", packNew) ||
      !Write(dir + "/scenario.txt.old", script) || !Write(dir + "/scenario.txt.new", rewritten)) {
    std::fprintf(stderr, "make_patch_corpus: cannot write to %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
