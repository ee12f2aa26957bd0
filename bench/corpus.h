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

// The apply benchmark's folder: `count` files of `size` bytes each, in turn
// program code, word text, random bytes and smooth image-like bytes.
std::vector<CorpusFile> BuildMixedFolder(size_t count, size_t size);
