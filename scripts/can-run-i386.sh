#!/usr/bin/env bash
# Exits 0 when this machine runs 32-bit x86 programs, which the Wine of our
# Windows tiers is (its loader and libraries are i386). Some virtual
# machines' kernels run 64-bit programs only: Wine cannot start there,
# whatever is installed, and the loader fails with "Exec format error".
loader=/usr/lib/wine/wine
[ -x "$loader" ] && "$loader" --version >/dev/null 2>&1
