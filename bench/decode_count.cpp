// The decoders' work over codec_bench's corpus, for counting the
// instructions they execute (bench/i686_instructions.sh), where no timing
// of i686 code can be had: decode_count WHICH ROUNDS encodes the corpus (our
// greedy blocks, or zlib -9 for inflate), decodes every file ROUNDS times
// with WHICH (ours: the best loop this processor runs; baseline: the loop
// for every processor; inflate), and checks each file once. Two runs that
// differ in ROUNDS differ by exactly that many passes of the decoder.
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "corpus.h"
#include "pack/compress.h"
#include "package/decompress.h"

int main(int argc, char** argv) {
  const std::string which = argc == 3 ? argv[1] : "";
  const int rounds = argc == 3 ? std::atoi(argv[2]) : 0;
  if ((which != "ours" && which != "baseline" && which != "inflate") || rounds < 1) {
    std::fprintf(stderr, "usage: decode_count ours|baseline|inflate ROUNDS\n");
    return 2;
  }
  PrepareDecoder(which == "baseline" ? DecoderLoop::Baseline : DecoderLoop::Best);

  const std::vector<CorpusFile> corpus = BuildCorpus();
  std::vector<std::vector<uint8_t>> encoded;
  size_t largest = 0;
  for (const CorpusFile& f : corpus) {
    largest = std::max(largest, f.bytes.size());
    if (which != "inflate") {
      encoded.push_back(CompressBlock(f.bytes.data(), f.bytes.size(), CompressLevel::Greedy));
    } else {
      uLongf size = compressBound(f.bytes.size());
      encoded.emplace_back(size);
      compress2(encoded.back().data(), &size, f.bytes.data(), f.bytes.size(), 9);
      encoded.back().resize(size);
    }
  }

  // Into a buffer of exactly the file's size, as the updater decodes.
  std::vector<uint8_t> out(largest);
  for (int round = 0; round < rounds; ++round) {
    for (size_t i = 0; i < corpus.size(); ++i) {
      const std::vector<uint8_t>& original = corpus[i].bytes;
      size_t written = 0;
      bool done;
      if (which == "inflate") {
        uLongf size = original.size();
        done = uncompress(out.data(), &size, encoded[i].data(), encoded[i].size()) == Z_OK;
        written = size;
      } else {
        done = DecompressBlock(out.data(), original.size(), encoded[i].data(),
                               encoded[i].size(), &written);
      }
      if (!done || (round == 0 && (written != original.size() ||
                                   std::memcmp(out.data(), original.data(), written) != 0))) {
        std::fprintf(stderr, "decode_count: %s failed on %s\n", which.c_str(),
                     corpus[i].name.c_str());
        return 1;
      }
    }
  }
  return 0;
}
