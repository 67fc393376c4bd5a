#!/usr/bin/env bash
# Makes an Ed25519 key pair for signing updates and prints the public key as the Base64
# that goes into SUPublicEDKey (configure with -DNORVANE_UPDATE_PUBLIC_KEY=<that>).
#
#   make-update-key.sh <private-key.pem>
#
# Keep the private key secret and out of the repository; whoever holds it can ship updates.
set -euo pipefail
key=${1:?usage: make-update-key.sh <private-key.pem>}
[ -e "$key" ] && { echo "$key exists; not overwriting a key" >&2; exit 1; }
(umask 077 && openssl genpkey -algorithm ed25519 -out "$key")
"$(dirname "$0")/update-public-key.sh" "$key"
