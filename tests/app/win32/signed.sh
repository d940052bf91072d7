#!/usr/bin/env bash
# The signing step works and keeps the program whole: a copy of EXE signed by scripts/sign with
# a throwaway self-signed certificate verifies with osslsigncode, and still passes the checks
# of the shipped executable.
#   signed.sh SOURCE-DIR EXE OBJDUMP
set -euo pipefail

source_dir=$1 exe=$2 objdump=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/zelvoset-signed.XXXXXX")
trap 'rm -rf "$work"' EXIT

# A certificate for code signing, made on the spot, its key behind a password.
openssl req -x509 -newkey rsa:2048 -days 2 -subj "/CN=Zelvoset test signing" \
    -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=digitalSignature" \
    -passout pass:throwaway -keyout "$work/key.pem" -out "$work/cert.pem" 2>"$work/openssl.log" ||
    { cat "$work/openssl.log"; exit 1; }

if osslsigncode verify -in "$exe" -CAfile "$work/cert.pem" >"$work/unsigned.log" 2>&1; then
    echo "FAIL: the unsigned program verifies"
    exit 1
fi
ZELVOSET_SIGN_CERT=$work/cert.pem ZELVOSET_SIGN_KEY=$work/key.pem \
    ZELVOSET_SIGN_PASSWORD=throwaway SOURCE_DATE_EPOCH=$(date +%s) \
    "$source_dir/scripts/sign" "$exe" "$work/Zelvoset.exe"
cmp -s "$exe" "$work/Zelvoset.exe" && { echo "FAIL: the signed copy is the unsigned program"; exit 1; }
osslsigncode verify -in "$work/Zelvoset.exe" -CAfile "$work/cert.pem" >"$work/verify.log" 2>&1 ||
    { echo "FAIL: the signature does not verify:"; cat "$work/verify.log"; exit 1; }
grep -E "Signature verification: ok|Number of verified signatures: 1" "$work/verify.log"
cmake -DEXE="$work/Zelvoset.exe" -DOBJDUMP="$objdump" \
    -P "$source_dir/tests/app/win32/CheckExecutable.cmake"
