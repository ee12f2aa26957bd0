#!/usr/bin/env bash
# The decoders' instructions per pass over codec_bench's corpus, our block
# decoder as the shipped updater builds it for i686 against zlib's inflate
# for i686, and the same natively on x86-64; then codec_bench's timed ratio
# on x86-64, and from the three an estimate of the i686 speed ratio.
#
# For machines that cannot run 32-bit code, where bench/i686_codec_bench.sh
# (the timed i686 figure, under Wine) cannot run: the counts come from QEMU's
# user-mode emulation with an instruction-counting plugin, so they are
# exact and the same on every run, but say nothing of cycles. The estimate
# assumes each decoder runs as many instructions per cycle on i686 as on
# x86-64.
#
# Needs scripts/setup.sh's packages and `cmake --preset native`; zlib for
# i386 is taken from Debian's package into build/ without installing it
# (installing it would replace the machine's C headers).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$root/build/i686-instructions
mkdir -p "$work"

cmake --preset native >/dev/null
cmake --build build/native --target decode_count codec_bench -j2 >/dev/null

zlib=$work/zlib-i386
if [ ! -f "$zlib/usr/lib/i386-linux-gnu/libz.a" ]; then
  (cd "$work" && rm -f zlib1g-dev_*_i386.deb && apt-get download -q -o APT::Sandbox::User=root zlib1g-dev:i386 >/dev/null)
  dpkg-deb -x "$work"/zlib1g-dev_*_i386.deb "$zlib"
fi

# The decoder with the flags of the win32 preset's build of it: MinSizeRel,
# then -O2 for this one file (src/package/CMakeLists.txt), the program's
# flags (CMakeLists.txt, cmake/UpdLibrary.cmake) and MinGW's default
# processor, pentiumpro; not position-independent, as a Windows program is
# not. The harness around it is not counted.
common=(-m32 -march=pentiumpro -fno-pie -std=c++20 -I"$root/src" -I"$root/bench"
        -isystem "$zlib/usr/include" -finput-charset=UTF-8 -fexec-charset=CP932)
g++ "${common[@]}" -Os -DNDEBUG -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables \
  -ffunction-sections -O2 -c src/package/decompress.cpp -o "$work/decompress.o"
for source in src/pack/compress.cpp bench/corpus.cpp bench/decode_count.cpp; do
  g++ "${common[@]}" -O2 -c "$source" -o "$work/$(basename "$source" .cpp).o"
done
g++ -m32 -static -no-pie "$work"/{decode_count,corpus,compress,decompress}.o \
  "$zlib/usr/lib/i386-linux-gnu/libz.a" -o "$work/decode_count_i686"
gcc -shared -fPIC -O2 bench/qemu_insn_count.c -o "$work/qemu_insn_count.so"

# Instructions of one pass: a run of three passes less a run of one.
per_pass() {  # QEMU PROGRAM WHICH
  local one three
  one=$($1 -cpu max -plugin "$work/qemu_insn_count.so" "$2" "$3" 1 2>&1 | awk '/^instructions/ {print $2}')
  three=$($1 -cpu max -plugin "$work/qemu_insn_count.so" "$2" "$3" 3 2>&1 | awk '/^instructions/ {print $2}')
  [ -n "$one" ] && [ -n "$three" ] || { echo "i686_instructions: $2 $3 failed" >&2; exit 1; }
  echo $(((three - one) / 2))
}
ours32=$(per_pass qemu-i386 "$work/decode_count_i686" ours)
base32=$(per_pass qemu-i386 "$work/decode_count_i686" baseline)
zlib32=$(per_pass qemu-i386 "$work/decode_count_i686" inflate)
ours64=$(per_pass qemu-x86_64 build/native/bench/decode_count ours)
zlib64=$(per_pass qemu-x86_64 build/native/bench/decode_count inflate)
timed64=$(build/native/bench/codec_bench | awk '/our decode \/ zlib inflate \(greedy blocks\)/ {sub("x", "", $8); print $8}')

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
millions() { awk -v a="$1" 'BEGIN {printf "%.1fM", a / 1e6}'; }
echo "instructions per pass over the corpus (greedy blocks; inflate: zlib -9)"
echo "  i686, ours, best loop      $(millions "$ours32")"
echo "  i686, ours, baseline loop  $(millions "$base32")"
echo "  i686, zlib inflate         $(millions "$zlib32")"
echo "  x86-64, ours, best loop    $(millions "$ours64")"
echo "  x86-64, zlib inflate       $(millions "$zlib64")"
echo "inflate's instructions / ours"
echo "  i686 $(ratio "$zlib32" "$ours32")x (baseline loop $(ratio "$zlib32" "$base32")x), x86-64 $(ratio "$zlib64" "$ours64")x"
echo "x86-64, timed (codec_bench): our decode / zlib inflate ${timed64}x"
echo "estimate for i686: our decode / zlib inflate" \
  "$(awk -v c="$zlib32" -v o="$ours32" -v t="$timed64" -v c6="$zlib64" -v o6="$ours64" \
      'BEGIN {printf "%.2f", (c / o) * t / (c6 / o6)}')x (target >= 2)"
