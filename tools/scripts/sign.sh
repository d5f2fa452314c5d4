#!/usr/bin/env bash
# Signs Windows files (.exe, .com, .dll, .msi) in place with osslsigncode:
#   LUMO_SIGN_PKCS12=cert.p12 LUMO_SIGN_PASSWORD_FILE=pass [LUMO_SIGN_TIMESTAMP_URL=...] \
#       tools/scripts/sign.sh FILE...
# The timestamp keeps a signature valid after the certificate expires; it
# needs the timestamp server to be reachable.
set -euo pipefail
: "${LUMO_SIGN_PKCS12:?names the certificate and key (.p12)}"
: "${LUMO_SIGN_PASSWORD_FILE:?names the file holding the .p12 password}"
timestamp=()
[ -n "${LUMO_SIGN_TIMESTAMP_URL:-}" ] && timestamp=(-ts "$LUMO_SIGN_TIMESTAMP_URL")
for f in "$@"; do
    osslsigncode sign -pkcs12 "$LUMO_SIGN_PKCS12" -readpass "$LUMO_SIGN_PASSWORD_FILE" \
        -h sha256 -n Lumo "${timestamp[@]}" -in "$f" -out "$f.signed" >/dev/null
    mv "$f.signed" "$f"
done
