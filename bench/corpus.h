// The benchmark's corpus: files of the kinds a game update carries, made the
// same way on every run (or read from programs every Debian system has).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct CorpusFile {
  std::string name;
  std::vector<uint8_t> bytes;
};

std::vector<CorpusFile> BuildCorpus();

// Single files of the corpus's kinds: a Shift-JIS scenario script, word
// text, a 24-bit BMP (style 0 painted, 1 interface art, 2 noisy texture).
std::vector<uint8_t> ScriptText(size_t size, uint32_t seed);
std::vector<uint8_t> WordText(size_t size, uint32_t seed);
std::vector<uint8_t> Bitmap(int width, int height, int style, uint32_t seed);

// The apply benchmark's folder: `count` files of `size` bytes each, in turn
// program code, word text, random bytes and smooth image-like bytes.
std::vector<CorpusFile> BuildMixedFolder(size_t count, size_t size);
