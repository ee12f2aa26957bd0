// One run over one corpus: decode and encode speed and sizes of our block
// codec beside zlib, LZ4 and memcpy, with the ratios the project aims at.
// The Windows build (bench/i686_codec_bench.sh) has no LZ4 to compare with.
#if UPD_BENCH_LZ4
#include <lz4.h>
#include <lz4hc.h>
#endif
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <functional>

#include "corpus.h"
#include "timing.h"
#include "pack/compress.h"
#include "package/decompress.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Encoded {
  Bytes greedy, best, zlib, lz4;
};

[[noreturn]] void Fail(const char* what, const std::string& file) {
  std::fprintf(stderr, "codec_bench: %s failed on %s\n", what, file.c_str());
  std::exit(1);
}

}  // namespace

int main() {
  PrepareDecoder();
  std::vector<CorpusFile> corpus = BuildCorpus();
  size_t total = 0, largest = 0;
  for (const CorpusFile& f : corpus) {
    total += f.bytes.size();
    largest = std::max(largest, f.bytes.size());
  }

  // Each file is encoded on its own, so that its speed against zlib -9
  // shows, not just the corpus's. The encoders take turns on it, round after
  // round, each keeping its fastest pass, as the decoders do below.
  std::vector<Encoded> encoded(corpus.size());
  struct EncodeTimes {
    double greedy = 1e30, best = 1e30, zlib = 1e30;
  };
  std::vector<EncodeTimes> encodeTimes(corpus.size());
  for (size_t i = 0; i < corpus.size(); ++i) {
    const Bytes& in = corpus[i].bytes;
    EncodeTimes& t = encodeTimes[i];
    auto pass = [](double& fastest, const std::function<void()>& encode) {
      const double start = Now();
      encode();
      fastest = std::min(fastest, Now() - start);
    };
    for (int round = 0; round < 7; ++round) {
      pass(t.greedy, [&] { encoded[i].greedy = CompressBlock(in.data(), in.size(), CompressLevel::Greedy); });
      pass(t.best, [&] { encoded[i].best = CompressBlock(in.data(), in.size(), CompressLevel::Best); });
      pass(t.zlib, [&] {
        uLongf size = compressBound(in.size());
        encoded[i].zlib.resize(size);
        compress2(encoded[i].zlib.data(), &size, in.data(), in.size(), 9);
        encoded[i].zlib.resize(size);
      });
    }
  }
  double greedyEncode = 0, bestEncode = 0, zlibEncode = 0;
  for (const EncodeTimes& t : encodeTimes) {
    greedyEncode += t.greedy;
    bestEncode += t.best;
    zlibEncode += t.zlib;
  }
#if UPD_BENCH_LZ4
  for (size_t i = 0; i < corpus.size(); ++i) {
    const Bytes& in = corpus[i].bytes;
    encoded[i].lz4.resize(LZ4_compressBound(int(in.size())));
    int size = LZ4_compress_HC(reinterpret_cast<const char*>(in.data()),
                               reinterpret_cast<char*>(encoded[i].lz4.data()), int(in.size()),
                               int(encoded[i].lz4.size()), LZ4HC_CLEVEL_DEFAULT);
    encoded[i].lz4.resize(size);
  }
#endif

  // Every decoder writes into a buffer of exactly the file's size, as the
  // updater does, and every result is checked once.
  Bytes out(largest);
  auto ours = [&](Bytes Encoded::*slot, bool check, size_t i) {
    const Bytes& block = encoded[i].*slot;
    size_t written = 0;
    if (!DecompressBlock(out.data(), corpus[i].bytes.size(), block.data(), block.size(),
                         &written) ||
        (check && (written != corpus[i].bytes.size() ||
                   std::memcmp(out.data(), corpus[i].bytes.data(), written) != 0)))
      Fail("our decoder", corpus[i].name);
  };
  auto inflate = [&](bool check, size_t i) {
    uLongf size = corpus[i].bytes.size();
    if (uncompress(out.data(), &size, encoded[i].zlib.data(), encoded[i].zlib.size()) != Z_OK ||
        (check && std::memcmp(out.data(), corpus[i].bytes.data(), size) != 0))
      Fail("inflate", corpus[i].name);
  };
#if UPD_BENCH_LZ4
  auto lz4 = [&](bool check, size_t i) {
    int size = LZ4_decompress_safe(reinterpret_cast<const char*>(encoded[i].lz4.data()),
                                   reinterpret_cast<char*>(out.data()),
                                   int(encoded[i].lz4.size()), int(corpus[i].bytes.size()));
    if (size != int(corpus[i].bytes.size()) ||
        (check && std::memcmp(out.data(), corpus[i].bytes.data(), size) != 0))
      Fail("LZ4", corpus[i].name);
  };
#endif
  for (size_t i = 0; i < corpus.size(); ++i) {
    ours(&Encoded::greedy, true, i);
    ours(&Encoded::best, true, i);
    inflate(true, i);
#if UPD_BENCH_LZ4
    lz4(true, i);
#endif
  }

  // The decoders take turns, round after round, and each keeps its fastest
  // pass: a busy spell on the machine then slows all of them alike. A pass
  // decodes one file, or the whole corpus (index `all`).
  const size_t all = corpus.size();
  auto each = [&](const std::function<void(size_t)>& decode, size_t i) {
    if (i != all) return decode(i);
    for (size_t j = 0; j < all; ++j) decode(j);
  };
  struct Decoder {
    const char* name;
    std::function<void(size_t)> decode;
  };
  // The first four in this order: the figures below name them by place.
  const std::vector<Decoder> decoders = {
      {"ours, greedy blocks", [&](size_t i) { each([&](size_t j) { ours(&Encoded::greedy, false, j); }, i); }},
      {"ours, best blocks", [&](size_t i) { each([&](size_t j) { ours(&Encoded::best, false, j); }, i); }},
      {"zlib inflate", [&](size_t i) { each([&](size_t j) { inflate(false, j); }, i); }},
      // What a processor without the instructions the best loop needs gets.
      {"ours, baseline loop", [&](size_t i) {
         PrepareDecoder(DecoderLoop::Baseline);
         each([&](size_t j) { ours(&Encoded::greedy, false, j); }, i);
         PrepareDecoder();
       }},
#if UPD_BENCH_LZ4
      {"LZ4 decompress", [&](size_t i) { each([&](size_t j) { lz4(false, j); }, i); }},
#endif
      {"memcpy", [&](size_t i) {
         each([&](size_t j) {
           std::memcpy(out.data(), corpus[j].bytes.data(), corpus[j].bytes.size());
         }, i);
       }}};
  // fastest[decoder][file], the whole corpus last.
  std::vector<std::vector<double>> fastest(decoders.size(), std::vector<double>(all + 1, 1e30));
  for (int round = 0; round < 30; ++round) {
    for (size_t i = 0; i <= all; ++i) {
      for (size_t d = 0; d < decoders.size(); ++d)
        fastest[d][i] = std::min(fastest[d][i], FastestPass([&] { decoders[d].decode(i); }, 0));
    }
  }
  double greedyDecode = fastest[0][all], bestDecode = fastest[1][all],
         zlibDecode = fastest[2][all];

  std::printf("%-24s %10s %10s %10s %10s %10s\n", "file", "size", "greedy", "best", "zlib -9",
              UPD_BENCH_LZ4 ? "lz4hc" : "");
  size_t sums[4] = {};
  for (size_t i = 0; i < corpus.size(); ++i) {
    const Encoded& e = encoded[i];
    std::printf("%-24s %10zu %10zu %10zu %10zu", corpus[i].name.c_str(), corpus[i].bytes.size(),
                e.greedy.size(), e.best.size(), e.zlib.size());
    if (UPD_BENCH_LZ4) std::printf(" %10zu", e.lz4.size());
    std::printf("\n");
    sums[0] += e.greedy.size();
    sums[1] += e.best.size();
    sums[2] += e.zlib.size();
    sums[3] += e.lz4.size();
  }
  std::printf("%-24s %10zu %10zu %10zu %10zu", "total", total, sums[0], sums[1], sums[2]);
  if (UPD_BENCH_LZ4) std::printf(" %10zu", sums[3]);
  std::printf("\n\n");

  auto mbs = [&](double seconds) { return double(total) / seconds / 1e6; };
  std::printf("decode MB/s (of decoded bytes)\n");
  for (size_t d = 0; d < decoders.size(); ++d)
    std::printf("  %-20s %9.1f\n", decoders[d].name, mbs(fastest[d][all]));
  std::printf("\n");
  // Which kinds of data are slow to decode, and against inflate on each.
  std::printf("decode MB/s per file       greedy      best   inflate    greedy / inflate\n");
  for (size_t i = 0; i < all; ++i) {
    double size = double(corpus[i].bytes.size()) / 1e6;
    std::printf("  %-22s %9.1f %9.1f %9.1f %9.2fx\n", corpus[i].name.c_str(),
                size / fastest[0][i], size / fastest[1][i], size / fastest[2][i],
                fastest[2][i] / fastest[0][i]);
  }
  std::printf("\n");
  std::printf("encode MB/s, one thread   best    zlib -9   best / zlib -9 (target >= 1)\n");
  double slowest = 1e30;
  for (size_t i = 0; i < corpus.size(); ++i) {
    double size = double(corpus[i].bytes.size()) / 1e6;
    const EncodeTimes& t = encodeTimes[i];
    slowest = std::min(slowest, t.zlib / t.best);
    std::printf("  %-22s %7.1f %9.1f %9.2fx\n", corpus[i].name.c_str(), size / t.best,
                size / t.zlib, t.zlib / t.best);
  }
  std::printf("\nencode MB/s             size     ratio\n");
  std::printf("  greedy          %7.1f %10zu %8.3f\n", mbs(greedyEncode), sums[0],
              double(sums[0]) / total);
  std::printf("  best            %7.1f %10zu %8.3f\n", mbs(bestEncode), sums[1],
              double(sums[1]) / total);
  std::printf("  zlib -9         %7.1f %10zu %8.3f\n\n", mbs(zlibEncode), sums[2],
              double(sums[2]) / total);
  std::printf("ratios\n");
  std::printf("  our decode / zlib inflate (greedy blocks) %6.2fx  (target >= 2)\n",
              zlibDecode / greedyDecode);
  std::printf("  our decode / zlib inflate (best blocks)   %6.2fx\n", zlibDecode / bestDecode);
  std::printf("  the same, greedy blocks, baseline loop    %6.2fx\n", zlibDecode / fastest[3][all]);
#if UPD_BENCH_LZ4
  std::printf("  our decode / LZ4 decompress               %6.2fx\n", fastest[4][all] / greedyDecode);
#endif
  std::printf("  best size / greedy size                   %6.3f   (target <= 0.97)\n",
              double(sums[1]) / sums[0]);
  std::printf("  best size / zlib -9 size                  %6.3f\n", double(sums[1]) / sums[2]);
  std::printf("  best encode / zlib -9, slowest file       %6.2fx  (target >= 1)\n", slowest);
  return 0;
}
