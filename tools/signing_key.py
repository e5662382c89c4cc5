#!/usr/bin/env python3
"""The release-signing key for the build: writes the 64-byte public key (X || Y of the P-256
point) that the installer carries as a resource, from a PEM private key.

    signing_key.py PRIVATE_KEY.pem OUT.bin
"""
import pathlib
import subprocess
import sys

# DER SubjectPublicKeyInfo of an EC P-256 key: 26 bytes of algorithm identifiers, then the
# uncompressed point 04 || X || Y.
P256_SPKI_PREFIX = bytes.fromhex("3059301306072a8648ce3d020106082a8648ce3d030107034200")


def public_point(private_key):
    der = subprocess.run(["openssl", "ec", "-in", str(private_key), "-pubout", "-outform", "DER"],
                         check=True, capture_output=True).stdout
    if len(der) != len(P256_SPKI_PREFIX) + 65 or not der.startswith(P256_SPKI_PREFIX) or der[len(P256_SPKI_PREFIX)] != 4:
        raise ValueError(f"{private_key} is not an ECDSA P-256 (prime256v1) key")
    return der[-64:]


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        point = public_point(argv[1])
    except (ValueError, subprocess.CalledProcessError) as error:
        print(f"signing_key: {error}", file=sys.stderr)
        return 1
    out = pathlib.Path(argv[2])
    out.parent.mkdir(parents=True, exist_ok=True)
    out.write_bytes(point)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
