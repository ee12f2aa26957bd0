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
