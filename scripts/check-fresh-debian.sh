#!/usr/bin/env bash
# Proves the README's two commands on a bare machine: makes a minimal Debian
# 12 root file system, clones this checkout's HEAD into it and runs
# scripts/demo.sh, then scripts/test.sh, inside a chroot with /proc, /sys and
# /dev bound. Needs root and network access to Debian's archive.
#
#   scripts/check-fresh-debian.sh [ROOT]     ROOT defaults to build/fresh-debian
#
# FRESH_DEBIAN_STEPS="test" runs only some of the two (default "demo test").
#
# The root is made anew each time (about a minute); its logs are
# ROOT.demo.log and ROOT.test.log.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(realpath -m "${1:-build/fresh-debian}")
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}

unbind() {
  local d
  for d in dev/pts dev sys proc; do
    mountpoint -q "$root/$d" && umount -l "$root/$d"
  done
  return 0
}
trap unbind EXIT

command -v debootstrap >/dev/null ||
  { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap >/dev/null; }
unbind
rm -rf "$root"
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.debootstrap.log"
cp /etc/resolv.conf "$root/etc/resolv.conf"
git clone -q "$PWD" "$root/root/updater"
for d in proc sys dev dev/pts; do mount --bind "/$d" "$root/$d"; done

in_root() {
  chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    /bin/bash -c "cd /root/updater && $1"
}
for cmd in ${FRESH_DEBIAN_STEPS:-demo test}; do
  echo "fresh-debian: scripts/$cmd.sh (log: $root.$cmd.log)"
  start=$SECONDS
  if ! in_root "bash scripts/$cmd.sh" >"$root.$cmd.log" 2>&1; then
    tail -n 30 "$root.$cmd.log"
    echo "fresh-debian: scripts/$cmd.sh failed" >&2
    exit 1
  fi
  echo "fresh-debian: scripts/$cmd.sh passed in $((SECONDS - start)) s"
done
