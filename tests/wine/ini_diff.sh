#!/usr/bin/env bash
# Differential test of the profile reader: generates INI files with the odd
# spellings found in the wild, asks Windows' GetPrivateProfileStringA (the
# probe, run under Wine) and our reader (the same probe built natively) the
# same questions, and fails on any difference.
#
# Usage: tests/wine/ini_diff.sh [BUILD-DIR]   (default: a temporary folder)
#
# Not asked, because we answer them differently on purpose:
# - a cut that falls inside a double-byte character: Wine returns
#   capacity - 1 with one byte fewer in the buffer; we return the bytes
#   actually copied;
# - a quoted value with capacity equal to its length without the opening
#   quote: Wine drops the last character as if it were the closing quote;
# - case folding beyond ASCII (full-width letters, Greek, Cyrillic), files
#   with a byte-order mark, and bytes that are not valid Shift-JIS: Wine
#   reads the file through Unicode, we read the bytes as they are.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/scripts/wine-env.sh"
if [ $# -ge 1 ]; then
  work=$1
else
  work=$(mktemp -d /tmp/ini-diff.XXXXXX)
  upd_at_exit 'rm -rf "$work"'
fi
mkdir -p "$work/ini"
cases="$work/ini"

# ---- The two probes ---------------------------------------------------------
i686-w64-mingw32-g++ -std=c++20 -static -O2 -o "$work/ini_probe.exe" "$here/ini_probe.cpp"
g++ -std=c++20 -O2 -finput-charset=UTF-8 -fexec-charset=CP932 -I "$root/src" \
  -o "$work/ini_probe_native" "$here/ini_probe.cpp" "$root"/src/platform/posix/*.cpp

# ---- The files ----------------------------------------------------------------
# printf keeps every byte as written: \r, \t, \x1a, and Shift-JIS as \x.. pairs.
put() { printf "$2" > "$cases/$1"; }

put basic.ini '[SETUP]\r\nCompanyName=Example Works\r\nGameTitle=Example Story\r\nGameDir=Example Story\r\n'
put spacing.ini '  [SETUP]  \n  Key1   =   value with  spaces   \n\tKey2\t=\tv2\t\nKey 3 = spaced key\nKey4=\n Key5 =\t \n\x0bKey6\x0c=\x0cv6\x0b\x1a\n'
put quotes.ini '[Q]\nK1="quoted"\nK2='"'"'single'"'"'\nK3="mixed'"'"'\nK4="\nK5=""\nK6=" inner "\nK7="a"b"\nK8='"'"'x\nK9="""\nK10="abc"\nK11=  "spaced"  \nK12="x\n'
put comments.ini '; leading comment\n;Key=commented\n[SETUP]\n;Key=no\nKey=yes\n# Hash=1\n; [OTHER]\nafter=1\n[OTHER]\nKey=other\n'
put dups.ini '[A]\nk=1\nk=2\n[B]\nk=3\n[a]\nk=4\nj=5\n[C]\n[c]\nm=6\n'
put nofinal.ini '[S]\nfirst=1\nlast=end of file'
put empty.ini ''
put lonecr.ini '[S]\rk=1\rj=2\r[T]\r\rk=3'
put mixedends.ini '[S]\r\na=1\nb=2\rc=3\r\n\r\n\nd=4'
put equals.ini '[S]\nk=a=b=c\n=x\nkk = = y\nurl=http://example.com/?a=1\n'
put noequals.ini '[S]\nnoequals\nk2\nk2=v\nkey with spaces = v3\n'
put sections.ini '[S] trailing text\nk=1\n[S]]\nk=2\n[[S]\nk=3\n[ S ]\nk=4\n[T\nk=5\n[]\nk=6\n[U]x]\nk=7\n'
put before.ini 'k=0\n[S]\nk=1\n'
put control.ini '[S]\nk=\x1cv\x1f\nz=ab\x1a\x1a\nnul=ab\0cd\n'
put case.ini '[SeTuP]\nGAMETITLE=upper\n[_A]\nx=1\n[a1]\nY=2\n'
put long.ini "[S]\nv300=$(printf 'x%.0s' $(seq 300))\nv2000=$(printf '%s' $(printf 'ab%.0s' $(seq 1000)))\nquoted300=\"$(printf 'q%.0s' $(seq 300))\"\n"
{
  printf '[SETUP]\r\n'
  printf 'GameTitle=%s\r\n' "$(sjis 'ゲームのタイトル')"
  printf 'Path=%s\r\n' "$(sjis 'C:\ゲーム\ソフト\表')"
  printf '%s=%s\r\n' "$(sjis 'ソ')" "$(sjis '表示')"
  printf 'Spaced=  %s  \r\n' "$(sjis '全角　空白　')"
  printf 'Quoted="%s"\r\n' "$(sjis 'ソ')"
  printf 'Long=%s\r\n' "$(for i in $(seq 150); do sjis 'ア'; done)"
  printf 'Kana=\x83\x41\r\n\x83\x41=a\r\n'
  printf '[%s]\r\n%s=%s\r\n' "$(sjis 'ゾーン')" "$(sjis 'キー')" "$(sjis '値')"
  printf '[%s]\r\nk=1\r\n' "$(sjis '日本語ソ')"
} > "$cases/sjis.ini"

# ---- The questions --------------------------------------------------------------
# The probes take names as Shift-JIS hex, '-' for an empty one.
ask() {  # FILE SECTION KEY [CAPACITY...]  (section and key in UTF-8)
  local file=$1 section key cap
  section=$(hex "$2")
  key=$(hex "$3")
  section=${section:--}
  key=${key:--}
  shift 3
  for cap in "${@:-260}"; do
    printf '%s\t%s\t%s\t%s\n' "$cases/$file" "$section" "$key" "$cap"
  done
}
{
  ask basic.ini SETUP CompanyName 260 14 13 2 1 0
  ask basic.ini setup gametitle
  ask basic.ini '  SETUP ' ' GameDir  '
  ask basic.ini SETUP Missing
  ask basic.ini NOSECTION CompanyName
  ask basic.ini SETUP ''
  ask missing.ini SETUP CompanyName
  for k in Key1 Key2 'Key 3' 'Key  3' Key4 Key5 Key6; do ask spacing.ini SETUP "$k"; done
  for k in K1 K2 K3 K4 K5 K6 K7 K8 K9 K11 K12; do ask quotes.ini Q "$k"; done
  ask quotes.ini Q K10 260 6 5 3 2 1
  for k in Key ';Key' '# Hash' after; do ask comments.ini SETUP "$k"; done
  ask comments.ini OTHER Key
  ask dups.ini A k; ask dups.ini a k; ask dups.ini B k; ask dups.ini A j
  ask dups.ini C m; ask dups.ini c m
  ask nofinal.ini S first; ask nofinal.ini S last 260 4
  ask empty.ini S k
  ask lonecr.ini S k; ask lonecr.ini S j; ask lonecr.ini T k
  for k in a b c d; do ask mixedends.ini S "$k"; done
  for k in k '' ' ' kk url; do ask equals.ini S "$k"; done
  for k in noequals k2 'key with spaces' 'key  with spaces'; do ask noequals.ini S "$k"; done
  for s in S 'S]' '[S' ' S ' T '[T' '' U 'U]x'; do ask sections.ini "$s" k; done
  ask before.ini S k; ask before.ini '' k
  for k in k z nul; do ask control.ini S "$k"; done
  ask case.ini setup GameTitle; ask case.ini _a X; ask case.ini A1 y
  ask long.ini S v300 260 300 301 302
  ask long.ini S v2000 1024 2000 2001
  ask long.ini S quoted300 260 302 303
  ask sjis.ini SETUP GameTitle 260 17 15 9 3
  ask sjis.ini SETUP Path 260 6 4
  ask sjis.ini SETUP ソ 260 5 3
  ask sjis.ini SETUP Spaced
  ask sjis.ini SETUP Quoted 260 4 3
  ask sjis.ini SETUP Long 301 259 257
  ask sjis.ini SETUP Kana; ask sjis.ini SETUP ア; ask sjis.ini SETUP ヂ
  ask sjis.ini ゾーン キー
  ask sjis.ini 日本語ソ K; ask sjis.ini 日本語 k
} > "$work/requests.txt"

# Then files shuffled together from the same pieces, with a fixed seed so a
# difference can be reproduced. The values stay far below the capacity, so
# no cut falls where we differ on purpose.
python3 - "$cases" >> "$work/requests.txt" <<'PY'
import random, sys
folder = sys.argv[1]
rng = random.Random(1601)
sjis = lambda text: text.encode("cp932")
pieces = [b"[", b"]", b"=", b";", b'"', b"'", b"a", b"A", b"k", b"K", b"s", b"x", b"\x1a",
          sjis("ソ"), sjis("ア"), sjis("表"), sjis("ヂ"), sjis("\u3000")]
blanks = [b"", b"", b" ", b"\t", b"  \t", b"\x0b", b"\x1a"]
ends = [b"\n", b"\r\n", b"\r", b"\r\r\n", b"\n\n"]
sections = [b"a", b"S", b" s", b"[a", b"", sjis("ソ"), sjis("ヂ")]
keys = [b"k", b"K", b"ka", b"K A", b";k", b"", sjis("ア"), sjis("表a")]
# Asked: the same names, some in another case or spacing.
asked_sections = sections + [b"A", b"s", b"s ", sjis("ア")]
asked_keys = keys + [b"KA", b"k a", b" k", sjis("ヂ")]
def text(length):
    return b"".join(rng.choice(pieces) for _ in range(rng.randint(0, length)))
def line():
    kind = rng.random()
    pad = lambda: rng.choice(blanks)
    if kind < 0.2:
        return pad() + b"[" + pad() + rng.choice(sections) + pad() + b"]" + rng.choice([b"", b"]", b" x"]) + pad()
    if kind < 0.8:
        value = text(12)
        if rng.random() < 0.3:
            quote = rng.choice([b'"', b"'"])
            value = quote + value + rng.choice([quote, quote, b'"', b"'", b""])
        return pad() + rng.choice(keys) + pad() + b"=" + pad() + value + pad()
    if kind < 0.9:
        return b";" + text(10)
    return text(16)
for n in range(150):
    path = f"{folder}/random{n:03}.ini"
    body = b"".join(line() + rng.choice(ends) for _ in range(rng.randint(0, 24)))
    if rng.random() < 0.3:
        body = body.rstrip(b"\r\n")  # no final line end
    with open(path, "wb") as f:
        f.write(body)
    for _ in range(16):
        section, key = rng.choice(asked_sections), rng.choice(asked_keys)
        print(f"{path}\t{section.hex() or '-'}\t{key.hex() or '-'}\t260")
PY

# ---- Ask both and compare --------------------------------------------------------
# The Windows C runtime ends its lines with CR LF.
wine "$work/ini_probe.exe" < "$work/requests.txt" | tr -d '\r' > "$work/windows.txt"
"$work/ini_probe_native" < "$work/requests.txt" > "$work/native.txt"

total=$(wc -l < "$work/requests.txt")
if [ "$(wc -l < "$work/windows.txt")" != "$total" ]; then
  echo "ini_diff: the Windows probe answered $(wc -l < "$work/windows.txt") of $total requests" >&2
  exit 1
fi
mismatches=$(paste "$work/requests.txt" "$work/windows.txt" "$work/native.txt" |
  awk -F'\t' '$5 != $6 { printf "%s section %s key %s capacity %s: windows %.80s, ours %.80s\n", $1, $2, $3, $4, $5, $6 }')
if [ -n "$mismatches" ]; then
  echo "$mismatches" >&2
  echo "ini_diff: $(printf '%s\n' "$mismatches" | wc -l) of $total answers differ" >&2
  exit 1
fi
echo "ini_diff: all $total answers agree"
