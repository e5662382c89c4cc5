#!/usr/bin/env bash
# One release, ready to serve: builds the installer from this checkout in a clean folder, signs
# it (Authenticode) and writes the server's tree with the signed version file, the archive, the
# release notes, the installer and SHA256SUMS. `bash scripts/release.sh --help` lists the options.
#   bash scripts/release.sh --app-dir DIR --version 3.0.3.0 [--notes NOTES.pdf] [--out TREE]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-packages.sh >&2
exec /usr/bin/python3 tools/release.py "$@"
