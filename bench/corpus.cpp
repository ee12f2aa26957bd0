#include "corpus.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <random>
#include <string>

namespace {

using Bytes = std::vector<uint8_t>;

void PutLe(Bytes& out, uint32_t value, int size) {
  for (int i = 0; i < size; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

void Append(Bytes& out, const char* text) {
  while (*text) out.push_back(uint8_t(*text++));
}

}  // namespace

// A scenario script as the engine reads it: commands, speaker tags and
// dialogue in Shift-JIS (this file's literals are compiled to Shift-JIS).
Bytes ScriptText(size_t size, uint32_t seed) {
  static const char* speakers[] = {"【主人公】", "【さくら】", "【先生】", "【？？？】", "【母】"};
  static const char* phrases[] = {
      "おはよう", "今日はいい天気だね", "そんなこと言われても", "わからない", "……",
      "どうしたの？", "ちょっと待って", "ありがとう", "また明日", "本当に？",
      "学校に行かなきゃ", "あの日のことを覚えている", "ごめんなさい", "行こう",
      "約束だよ", "心配しないで", "それは", "でも", "きっと", "夢を見ていた"};
  static const char kanji[] =
      "日本語文章時間場所学校教室先生友達家族季節春夏秋冬空海山川花雨雪風"
      "心気持言葉約束記憶未来過去今朝夜昼夕方窓扉道駅電車部屋机椅子本手紙";
  std::mt19937 rng(seed);
  Bytes out;
  int scene = 1;
  while (out.size() < size) {
    char line[128];
    switch (rng() % 8) {
      case 0:
        std::snprintf(line, sizeof line, "@bg name=BG%03u fade=%u\r\n", unsigned(rng() % 120),
                      unsigned(rng() % 4) * 250);
        Append(out, line);
        break;
      case 1:
        std::snprintf(line, sizeof line, "@se file=SE_%02u vol=%u\r\n*SCENE_%04d\r\n",
                      unsigned(rng() % 60), unsigned(rng() % 100), scene++);
        Append(out, line);
        break;
      default: {
        Append(out, speakers[rng() % 5]);
        Append(out, "「");
        for (unsigned n = 1 + rng() % 4; n--;) {
          Append(out, phrases[rng() % 20]);
          for (unsigned k = rng() % 3; k--;) {
            size_t at = 2 * (rng() % ((sizeof kanji - 1) / 2));
            out.push_back(uint8_t(kanji[at]));
            out.push_back(uint8_t(kanji[at + 1]));
          }
          Append(out, rng() % 3 ? "、" : "。");
        }
        Append(out, "」\r\n");
      }
    }
  }
  out.resize(size);
  return out;
}

// English-like prose as manuals and read-me files carry: words of a made-up
// vocabulary (syllables, so that words share their parts as real ones do)
// drawn with Zipf-like frequencies, in sentences and paragraphs.
Bytes WordText(size_t size, uint32_t seed) {
  static const char* common[] = {
      "the", "of", "and", "to", "a", "in", "is", "you", "that", "it", "for", "on", "with",
      "as", "are", "this", "be", "at", "or", "from", "game", "file", "save", "data", "your",
      "can", "not", "will", "when", "if", "player", "update", "version", "press", "menu"};
  static const char* onsets[] = {"b", "c", "d", "f", "g", "h", "l", "m", "n", "p", "r", "s",
                                 "t", "v", "w", "st", "tr", "ch", "sh", "th", "pl", "gr", ""};
  static const char* nuclei[] = {"a", "e", "i", "o", "u", "ea", "ou", "ai", "io"};
  static const char* codas[] = {"", "", "n", "r", "s", "t", "nd", "ng", "ck", "ll", "st"};
  std::mt19937 rng(seed);
  std::vector<std::string> words(std::begin(common), std::end(common));
  while (words.size() < 6000) {
    std::string word;
    for (unsigned n = 1 + rng() % 3; n--;) {
      word += onsets[rng() % std::size(onsets)];
      word += nuclei[rng() % std::size(nuclei)];
      word += codas[rng() % std::size(codas)];
    }
    words.push_back(word);
  }
  // Rank r comes up about as often as 1 / r: the rank is log-uniform.
  auto word = [&]() -> const std::string& {
    double u = double(rng()) / 4294967296.0;
    size_t rank = size_t(std::pow(double(words.size()), u)) - 1;
    return words[std::min(rank, words.size() - 1)];
  };
  Bytes out;
  size_t column = 0;
  while (out.size() < size) {
    for (unsigned n = 3 + rng() % 15, first = 1; n--; first = 0) {
      std::string w = word();
      if (first) w[0] = char(w[0] - 'a' + 'A');
      if (n == 0) w += rng() % 5 ? "." : "?";
      else if (rng() % 9 == 0) w += ",";
      if (column + w.size() > 72) {
        Append(out, "\r\n");
        column = 0;
      } else if (column != 0) {
        Append(out, " ");
        ++column;
      }
      Append(out, w.c_str());
      column += w.size();
    }
    if (rng() % 6 == 0) {
      Append(out, "\r\n\r\n");
      column = 0;
    }
  }
  out.resize(size);
  return out;
}

// A 24-bit bottom-up BMP. `style` 0: painted backdrop (smooth gradients,
// soft noise); 1: interface art (flat colours, shapes, outlines); 2: a
// photo-like texture with strong noise.
Bytes Bitmap(int width, int height, int style, uint32_t seed) {
  std::mt19937 rng(seed);
  int stride = (width * 3 + 3) & ~3;
  Bytes out;
  Append(out, "BM");
  PutLe(out, 54 + stride * height, 4);
  PutLe(out, 0, 4);
  PutLe(out, 54, 4);
  PutLe(out, 40, 4);
  PutLe(out, width, 4);
  PutLe(out, height, 4);
  PutLe(out, 1, 2);
  PutLe(out, 24, 2);
  PutLe(out, 0, 4);
  PutLe(out, stride * height, 4);
  PutLe(out, 2835, 4);
  PutLe(out, 2835, 4);
  PutLe(out, 0, 4);
  PutLe(out, 0, 4);
  struct Box { int x0, y0, x1, y1; uint8_t r, g, b; };
  std::vector<Box> boxes;
  for (int i = 0; i < 40; ++i) {
    int x = rng() % width, y = rng() % height;
    boxes.push_back({x, y, x + 20 + int(rng() % 200), y + 10 + int(rng() % 120),
                     uint8_t(rng()), uint8_t(rng()), uint8_t(rng())});
  }
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      int r, g, b;
      if (style == 1) {
        r = 230, g = 230, b = 240;
        for (const Box& k : boxes) {
          if (x >= k.x0 && x < k.x1 && y >= k.y0 && y < k.y1) {
            bool edge = x == k.x0 || x == k.x1 - 1 || y == k.y0 || y == k.y1 - 1;
            r = edge ? 0 : k.r, g = edge ? 0 : k.g, b = edge ? 0 : k.b;
          }
        }
      } else {
        double fx = double(x) / width, fy = double(y) / height;
        double wave = std::sin(fx * 6.0 + fy * 3.0) * 40 + std::cos(fy * 9.0) * 25;
        int noise = style == 0 ? int(rng() % 7) - 3 : int(rng() % 61) - 30;
        r = int(120 + 100 * fy + wave) + noise;
        g = int(80 + 120 * fx - wave / 2) + noise;
        b = int(200 - 90 * fy + wave / 3) + noise;
      }
      out.push_back(uint8_t(std::clamp(b, 0, 255)));
      out.push_back(uint8_t(std::clamp(g, 0, 255)));
      out.push_back(uint8_t(std::clamp(r, 0, 255)));
    }
    for (int pad = width * 3; pad < stride; ++pad) out.push_back(0);
  }
  return out;
}

namespace {

// 16-bit stereo PCM WAV. `music`: chords of decaying notes; otherwise a
// voice-like signal: pitched bursts with noise and pauses of silence.
Bytes Wave(double seconds, bool music, uint32_t seed) {
  const uint32_t rate = 22050;
  uint32_t frames = uint32_t(seconds * rate);
  std::mt19937 rng(seed);
  Bytes out;
  Append(out, "RIFF");
  PutLe(out, 36 + frames * 4, 4);
  Append(out, "WAVEfmt ");
  PutLe(out, 16, 4);
  PutLe(out, 1, 2);
  PutLe(out, 2, 2);
  PutLe(out, rate, 4);
  PutLe(out, rate * 4, 4);
  PutLe(out, 4, 2);
  PutLe(out, 16, 2);
  Append(out, "data");
  PutLe(out, frames * 4, 4);
  double notes[3] = {220, 277, 330};
  uint32_t noteStart = 0;
  for (uint32_t i = 0; i < frames; ++i) {
    double t = double(i) / rate;
    double v = 0;
    if (music) {
      if (i - noteStart > rate / 2) {
        noteStart = i;
        for (double& f : notes) f = 110.0 * std::pow(2.0, double(rng() % 36) / 12.0);
      }
      double env = std::exp(-3.0 * double(i - noteStart) / rate);
      for (double f : notes) v += std::sin(2 * M_PI * f * t) * env * 6000;
    } else {
      bool speaking = std::fmod(t, 1.7) < 1.1;
      if (speaking) {
        double pitch = 140 + 30 * std::sin(t * 3);
        v = std::sin(2 * M_PI * pitch * t) * 5000 + std::sin(2 * M_PI * pitch * 3 * t) * 2000 +
            (int(rng() % 2001) - 1000);
      }
    }
    int16_t left = int16_t(std::clamp(v, -32000.0, 32000.0));
    int16_t right = int16_t(std::clamp(v * 0.8, -32000.0, 32000.0));
    PutLe(out, uint16_t(left), 2);
    PutLe(out, uint16_t(right), 2);
  }
  return out;
}

Bytes Deflated(const Bytes& data) {
  uLongf size = compressBound(data.size());
  Bytes out(size);
  compress2(out.data(), &size, data.data(), data.size(), 6);
  out.resize(size);
  return out;
}

// A file of the build machine. The Windows build runs under Wine, whose
// drive Z: is the machine's root folder.
Bytes ReadFile(const char* path) {
  Bytes out;
#ifdef _WIN32
  const std::string onWine = std::string("Z:") + path;
  path = onWine.c_str();
#endif
  if (FILE* f = std::fopen(path, "rb")) {
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    std::fclose(f);
  }
  return out;
}

}  // namespace

std::vector<CorpusFile> BuildCorpus() {
  std::vector<CorpusFile> corpus;
  corpus.push_back({"script.txt (Shift-JIS)", ScriptText(1500000, 1)});
  corpus.push_back({"manual.txt (words)", WordText(2000000, 8)});
  corpus.push_back({"backdrop.bmp", Bitmap(640, 480, 0, 2)});
  corpus.push_back({"interface.bmp", Bitmap(640, 480, 1, 3)});
  corpus.push_back({"texture.bmp", Bitmap(320, 240, 2, 4)});
  corpus.push_back({"music.wav", Wave(12.0, true, 5)});
  corpus.push_back({"voice.wav", Wave(6.0, false, 6)});
  corpus.push_back({"archive.z (deflated)", Deflated(Bitmap(640, 480, 2, 7))});
  for (const char* path : {"/usr/bin/bash", "/usr/bin/tar"}) {
    Bytes bytes = ReadFile(path);
    if (!bytes.empty()) corpus.push_back({path, std::move(bytes)});
  }
  return corpus;
}

std::vector<CorpusFile> BuildMixedFolder(size_t count, size_t size) {
  Bytes programs;
  for (const char* path : {"/usr/bin/bash", "/usr/bin/tar"}) {
    Bytes bytes = ReadFile(path);
    programs.insert(programs.end(), bytes.begin(), bytes.end());
  }
  std::vector<CorpusFile> folder;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t seed = uint32_t(100 + i);
    std::mt19937 rng(seed);
    Bytes bytes;
    char name[32];
    switch (i % 4) {
      case 0:  // program code: the system's programs, from a different start each time
        std::snprintf(name, sizeof name, "PROG%02zu.DLL", i);
        for (size_t at = rng() % programs.size(); bytes.size() < size; at = 0)
          bytes.insert(bytes.end(), programs.begin() + at, programs.end());
        break;
      case 1:
        std::snprintf(name, sizeof name, "TEXT%02zu.TXT", i);
        bytes = WordText(size, seed);
        break;
      case 2:
        std::snprintf(name, sizeof name, "NOISE%02zu.BIN", i);
        for (bytes.resize(size); uint8_t& b : bytes) b = uint8_t(rng());
        break;
      default: {
        std::snprintf(name, sizeof name, "IMAGE%02zu.BMP", i);
        const int width = 2048;
        bytes = Bitmap(width, int(size / (3 * width)) + 1, 0, seed);
      }
    }
    bytes.resize(size);
    folder.push_back({name, std::move(bytes)});
  }
  return folder;
}
