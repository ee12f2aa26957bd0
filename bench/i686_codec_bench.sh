#!/usr/bin/env bash
# codec_bench as the shipped updater is built (32-bit Windows, MinGW,
# MinSizeRel with the decoder at -O2: the win32-bench preset), against zlib
# built for the same processor, run under Wine: the i686 figures of
# bench/RESULTS.md. Needs a machine that runs 32-bit programs (Wine's
# loader is one); bench/i686_instructions.sh counts instructions where none
# can run.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset win32-bench >/dev/null
cmake --build build/win32-bench --target codec_bench -j2 >/dev/null
. scripts/wine-env.sh
wine build/win32-bench/bench/codec_bench.exe
