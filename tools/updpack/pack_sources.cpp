// Packing files for create and build: every entry is one block of its own,
// so the entries are encoded on several threads and laid out in order
// afterwards; the package is the same for any number of threads.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <numeric>
#include <utility>

#include "codepage.h"
#include "core/patch_entry.h"

#include "host.h"
#include "verbs.h"

PackedSources PackSources(const std::vector<PackSource>& sources,
                          const PackageOptions& options, unsigned jobs,
                          bool keepWhole) {
  std::vector<PackageInput> inputs;
  uint64_t total = 0;
  for (const PackSource& source : sources) {
    PackageInput input;
    input.name = source.name;
    input.data = ReadWholeFileOrThrow(source.path);
    input.lastWriteTime = FileLastWriteTime(source.path);
    input.storage = source.store ? EntryStorage::Stored : EntryStorage::Smaller;
    input.keepWhole = keepWhole;
    total += input.data.size();
    inputs.push_back(std::move(input));
  }

  // Largest first: the entries left for the last turns are the short ones,
  // so no thread waits long for another at the end.
  std::vector<size_t> order(inputs.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return inputs[a].data.size() > inputs[b].data.size();
  });
  std::vector<EncodedEntry> encoded(inputs.size());
  std::vector<std::exception_ptr> failures(inputs.size());
  std::atomic<size_t> next{0};
  std::atomic<uint64_t> done{0};
  const auto work = [&] {
    for (size_t turn; (turn = next.fetch_add(1)) < order.size();) {
      const size_t i = order[turn];
      try {
        // Old versions are held only while their entry is encoded: with
        // several old installations they would otherwise outweigh the
        // files themselves.
        for (const fs::path& old : sources[i].oldFiles) {
          inputs[i].oldVersions.push_back(ReadWholeFileOrThrow(old));
        }
        encoded[i] = EncodeEntry(inputs[i], options.level);
        inputs[i].oldVersions = {};
      } catch (...) {  // only running out of memory; told once all stop
        failures[i] = std::current_exception();
      }
      done.fetch_add(inputs[i].data.size());
    }
  };
  {
    ProgressLine line(total);
    uint64_t shown = ~uint64_t{0};
    const auto tick = [&] {
      const uint64_t now = done.load();
      if (now == shown) return;
      shown = now;
      line.Show("packing " + FormatBytes(now) + " of " + FormatBytes(total));
    };
    const size_t threads = std::max<size_t>(1, std::min<size_t>(jobs, inputs.size()));
    RunOnThreads(static_cast<unsigned>(threads), work, tick);
  }
  for (const std::exception_ptr& failure : failures) {
    if (failure) std::rethrow_exception(failure);
  }

  PackedSources packed;
  for (const EncodedEntry& entry : encoded) {
    packed.choices.push_back({entry.flags, {}, entry.wholeSize, entry.patchSizes});
  }
  if (LayOutPackage(inputs, std::move(encoded), options, &packed.image).result !=
      PackageWriteResult::Ok) {
    // Names and sizes were checked before; only the whole can be too large.
    throw ToolError("the package would be 4 GiB or larger");
  }
  return packed;
}

void PrintPatchChoices(const std::vector<PackSource>& sources,
                       const std::vector<EncodedEntry>& choices, bool keepWhole) {
  for (size_t i = 0; i < sources.size(); ++i) {
    const EncodedEntry& choice = choices[i];
    const size_t olds = sources[i].oldFiles.size(), patches = choice.patchSizes.size();
    const bool patch = choice.flags == kEntryFlagPatch;
    std::string line = "'" + Cp932ToUtf8(sources[i].name) + "': " +
                       (patch ? keepWhole ? "patch and whole file" : "patch" : "whole") +
                       " (whole file " + std::to_string(choice.wholeSize) + " bytes; ";
    if (olds == 0) {
      line += "no old version)";
    } else {
      line += std::to_string(olds) + " old version" + (olds == 1 ? "" : "s");
      if (patches == 0) {
        line += olds == 1 ? ", the same file)" : ", each the same file)";
      } else {
        line += patches == 1 ? ", a patch of " : ", patches of ";
        for (size_t p = 0; p < patches; ++p) {
          line += (p ? " + " : "") + std::to_string(choice.patchSizes[p]);
        }
        line += patch ? " bytes)" : " bytes, not smaller)";
      }
    }
    std::printf("%s\n", line.c_str());
  }
}
