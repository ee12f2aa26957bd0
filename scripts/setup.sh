#!/usr/bin/env bash
# Installs everything the project needs on a fresh Debian 12 machine.
# Safe to run again: it only installs what is missing.
set -euo pipefail

pkgs=(
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-14-dev
  libgtest-dev googletest libbenchmark-dev libcli11-dev
  zlib1g-dev liblz4-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  xvfb xauth x11-utils imagemagick locales
  # Japanese glyphs for the dialogs Wine draws (screenshots show boxes without)
  fonts-ipafont-gothic
  # updpack sign calls osslsigncode; the signing tests make keys with openssl
  osslsigncode openssl
)
i386_pkgs=(wine wine32:i386)

need=()
for p in "${pkgs[@]}" "${i386_pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need+=(force-update)
fi

if [ "${#need[@]}" -gt 0 ]; then
  echo "setup: installing ${need[*]/force-update/}"
  export DEBIAN_FRONTEND=noninteractive
  # Another apt run (an unattended upgrade, a second checkout's set-up) holds
  # the lock for a while; wait for it rather than fail.
  lock=(-o DPkg::Lock::Timeout=900)
  apt-get "${lock[@]}" update -qq
  apt-get "${lock[@]}" install -y -qq --no-install-recommends "${pkgs[@]}" "${i386_pkgs[@]}" >/dev/null
fi

# Wine takes its ANSI code page from the locale: without a compiled ja_JP
# locale it falls back to 1252 and every Shift-JIS text is garbled.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf8$'; then
  localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
echo "setup: ready"
