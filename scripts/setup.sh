#!/usr/bin/env bash
# Installs everything the project needs on a fresh Debian 12 machine.
# Safe to run again: it only installs what is missing.
set -euo pipefail

pkgs=(
  build-essential cmake ninja-build pkg-config git
  # the sample generator and the INI differential test
  python3
  clang libclang-rt-14-dev
  libgtest-dev googletest libbenchmark-dev libcli11-dev
  zlib1g-dev liblz4-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  # the i686 benchmarks: zlib for MinGW (bench/i686_codec_bench.sh); 32-bit
  # builds and QEMU's emulator to count their instructions
  # (bench/i686_instructions.sh, which unpacks zlib for i386 itself)
  libz-mingw-w64-dev gcc-multilib g++-multilib qemu-user
  xvfb xauth imagemagick locales
  # Japanese glyphs for the dialogs Wine draws (screenshots show boxes without)
  fonts-ipafont-gothic
  # updpack sign calls osslsigncode; the signing tests make keys with openssl
  osslsigncode openssl
  # the patch benchmark's yardsticks, and its measure of time and memory
  bsdiff zstd xdelta3 time
)
i386_pkgs=(wine wine32:i386)

# As root, or through sudo for a user allowed to install packages.
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup: run as root (or install sudo)" >&2; exit 1; }
  as_root=(sudo)
fi

need=()
for p in "${pkgs[@]}" "${i386_pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${as_root[@]}" dpkg --add-architecture i386
  need+=(force-update)
fi

if [ "${#need[@]}" -gt 0 ]; then
  echo "setup: installing ${need[*]/force-update/}"
  # Another apt run (an unattended upgrade, a second checkout's set-up) holds
  # the lock for a while; wait for it rather than fail.
  lock=(-o DPkg::Lock::Timeout=900)
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "${lock[@]}" update -qq
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "${lock[@]}" install -y -qq --no-install-recommends "${pkgs[@]}" "${i386_pkgs[@]}" >/dev/null
fi

# Wine takes its ANSI code page from the locale: without a compiled ja_JP
# locale it falls back to 1252 and every Shift-JIS text is garbled. The
# Western tier runs under en_US, whose code page is 1252.
for loc in ja_JP en_US; do
  if ! locale -a 2>/dev/null | grep -qi "^$loc\.utf8\$"; then
    "${as_root[@]}" localedef -i "$loc" -f UTF-8 "$loc.UTF-8"
  fi
done
echo "setup: ready"
