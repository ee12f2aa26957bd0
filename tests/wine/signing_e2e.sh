#!/usr/bin/env bash
# Signing an updater, with a throwaway self-signed certificate: osslsigncode
# accepts the signature with that certificate as the trusted one; updpack
# reads the signed updater; embed refuses it; a signed build is the same
# bytes twice with SOURCE_DATE_EPOCH; the signed updater runs under Wine to
# the completion page; one byte changed in the package after signing breaks
# the signature and is refused by updpack verify and by the updater (through
# the package's integrity record).
set -uo pipefail
. "$(dirname "$0")/../../scripts/wine-env.sh"

wine_dir=$UPD_WIN32_BUILD/tests/wine
stub=$UPD_WIN32_BUILD/tools/updpack/updater.exe
updpack=${UPD_NATIVE_UPDPACK:-$UPD_ROOT/build/native/tools/updpack/updpack}
upd_require "$stub" "$UPD_AUTOMATE" "$wine_dir/checksum_probe.exe" "$updpack"
command -v osslsigncode >/dev/null || { echo "signing_e2e: osslsigncode is not installed" >&2; exit 1; }

upd_game Signed 署名物語 3.0

echo "a throwaway code-signing certificate"
keys=$work/keys
mkdir -p "$keys"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Signed Works" \
  -addext "extendedKeyUsage=codeSigning" \
  -keyout "$keys/key.pem" -out "$keys/cert.pem" 2>/dev/null
printf 'test password\n' >"$keys/password.txt"
openssl pkcs12 -export -in "$keys/cert.pem" -inkey "$keys/key.pem" \
  -passout file:"$keys/password.txt" -out "$keys/signer.p12"
upd_check "certificate and PKCS#12 file made" test -s "$keys/signer.p12"

mkdir -p "$work/update"
upd_update_ini "$work/update/UPDATE.INI" '[UPDATE]' 'UpdateFile00=Movie.bin'
# Random bytes stay stored as they are; the marker finds them in the exe.
{ printf 'SIGNING-TEST-MARKER'; head -c 200000 /dev/urandom; } >"$work/update/Movie.bin"

echo "build --sign-pkcs12 and sign --cert/--key"
upd_check "updpack build signs its updater" \
  "$updpack" build "$work/update" -o "$work/Signed.exe" --stub "$stub" \
  --sign-pkcs12 "$keys/signer.p12" --sign-password-file "$keys/password.txt"
"$updpack" build "$work/update" -o "$work/Plain.exe" --stub "$stub" >/dev/null
upd_check "updpack sign signs an updater (key password from the environment)" \
  env SIGN_PASSWORD="test password" "$updpack" sign "$work/Plain.exe" \
  -o "$work/Signed2.exe" --pkcs12 "$keys/signer.p12" \
  --password-env SIGN_PASSWORD
# A PEM key: the certificate and key pair, without a password.
upd_check "updpack sign with a certificate and an unencrypted key" \
  "$updpack" sign "$work/Plain.exe" -o "$work/Signed3.exe" \
  --cert "$keys/cert.pem" --key "$keys/key.pem"
for exe in Signed.exe Signed2.exe Signed3.exe; do
  upd_check "osslsigncode verify accepts $exe with the certificate as trusted CA" \
    osslsigncode verify -CAfile "$keys/cert.pem" -in "$work/$exe" >/dev/null
done
upd_check "the header checksum of the signed updater is the one Windows computes" \
  wine "$wine_dir/checksum_probe.exe" "$(win "$work/Signed.exe")"

echo "updpack reads the signed updater"
"$updpack" verify "$work/Signed.exe" >"$work/verify.txt"
upd_check "updpack verify: sound, and the integrity record agrees: $(cat "$work/verify.txt")" \
  grep -q "sound, 2 entries, matching its integrity record" "$work/verify.txt"
"$updpack" list "$work/Signed.exe" >"$work/list.txt"
upd_check "updpack list: Movie.bin and UPDATE.INI" \
  test "$(awk '/^(stored|compressed) / {print $NF}' "$work/list.txt" | sort | tr '\n' ' ')" = "Movie.bin UPDATE.INI "
"$updpack" embed --stub "$work/Signed.exe" --package "$work/Signed.exe" \
  -o "$work/Refused.exe" 2>"$work/err.txt"
upd_check "embed refuses the signed updater: embed first, sign last" \
  grep -q "embed first.*sign last" "$work/err.txt"
upd_check "  and writes nothing" test ! -e "$work/Refused.exe"
PATH=/nonexistent "$updpack" sign "$work/Plain.exe" -o "$work/Refused.exe" \
  --pkcs12 "$keys/signer.p12" 2>"$work/err.txt"
upd_check "without osslsigncode: says so and writes nothing" \
  sh -c "grep -q 'osslsigncode, which makes the signature, is not installed' '$work/err.txt' && test ! -e '$work/Refused.exe'"
"$updpack" sign "$work/Plain.exe" -o "$work/Refused.exe" --pkcs12 "$keys/signer.p12" \
  --password-env NO_SUCH_PASSWORD_VARIABLE 2>/dev/null
upd_check "a missing password variable: nothing written" test ! -e "$work/Refused.exe"
printf 'wrong\n' >"$work/wrong.txt"
"$updpack" sign "$work/Plain.exe" -o "$work/Refused.exe" --pkcs12 "$keys/signer.p12" \
  --password-file "$work/wrong.txt" 2>"$work/err.txt"
upd_check "a wrong password: osslsigncode's failure is reported, nothing written" \
  sh -c "grep -q 'osslsigncode could not sign' '$work/err.txt' && test ! -e '$work/Refused.exe'"

cp "$work/Signed.exe" "$work/Kept.exe"
"$updpack" build "$work/update" -o "$work/Kept.exe" --stub "$stub" \
  --sign-pkcs12 "$keys/signer.p12" --sign-password-file "$work/wrong.txt" 2>/dev/null
upd_check "a build whose signing fails keeps the earlier updater" \
  sh -c "cmp -s '$work/Signed.exe' '$work/Kept.exe' && ! ls '$work/Kept.exe.'* >/dev/null 2>&1"

echo "a signed build is reproducible with SOURCE_DATE_EPOCH"
epoch=$(date +%s)
# Under the same name: the version record names the file.
for n in 1 2; do
  mkdir -p "$work/repro$n"
  SOURCE_DATE_EPOCH=$epoch "$updpack" build "$work/update" -o "$work/repro$n/Update.exe" \
    --stub "$stub" --sign-pkcs12 "$keys/signer.p12" \
    --sign-password-file "$keys/password.txt" >/dev/null
done
upd_check "two signed builds are the same bytes" cmp "$work/repro1/Update.exe" "$work/repro2/Update.exe"

echo "the signed updater runs: Next, Next, 完了"
upd_install_game
upd_auto_start
upd_expect "acp" "ok 932"
upd_run_to_completion "$work/Signed.exe"
upd_check "Movie.bin written" cmp "$work/update/Movie.bin" "$game/Movie.bin"

echo "one byte changed inside the package after signing"
cp "$work/Signed.exe" "$work/Damaged.exe"
marker=$(grep -obUa SIGNING-TEST-MARKER "$work/Damaged.exe" | head -n 1 | cut -d: -f1)
upd_check "the stored entry found in the updater" test -n "$marker"
offset=$((${marker:-0} + 5000))
byte=$(od -An -tu1 -j "$offset" -N1 "$work/Damaged.exe" | tr -d ' ')
printf "\\x$(printf %02x $(((byte + 1) & 255)))" |
  dd of="$work/Damaged.exe" bs=1 seek="$offset" conv=notrunc status=none
upd_check "osslsigncode verify refuses the damaged updater" \
  sh -c "! osslsigncode verify -CAfile '$keys/cert.pem' -in '$work/Damaged.exe' >/dev/null 2>&1"
"$updpack" verify "$work/Damaged.exe" >"$work/verify.txt" 2>&1
verified=$?
upd_check "updpack verify refuses it (exit 1), naming Movie.bin: $(tr '\n' ' ' <"$work/verify.txt")" \
  sh -c "test $verified -eq 1 && grep -q Movie.bin '$work/verify.txt'"
upd_install_game
upd_start_updater "$work/Damaged.exe"
upd_ask "msgbox 15000"
stopped=false
grep -q "text=RESOURCE READ ERROR |" <<<"$UPD_REPLY" && stopped=true
upd_check "the updater stops with RESOURCE READ ERROR: $UPD_REPLY" $stopped
if $stopped; then
  upd_expect "answer ok" "ok"
  upd_expect_exit 0
else
  kill "$updater_pid" 2>/dev/null  # the wizard would wait for a player
  wait "$updater_pid" 2>/dev/null
fi
upd_check "nothing written" test ! -e "$game/Movie.bin"

echo "signing_e2e: $UPD_FAILURES failure(s)"
[ "$UPD_FAILURES" -eq 0 ]
