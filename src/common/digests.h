// The cryptographic values a release carries: the archive's SHA-256 and the version file's
// ECDSA P-256 signature, checked against the public key built into the executable.
#pragma once
#include <array>
#include <cstdint>

using Sha256Digest = std::array<std::uint8_t, 32>;
// r || s, 32 bytes each.
using P256Signature = std::array<std::uint8_t, 64>;
// X || Y of the uncompressed point, 32 bytes each.
using P256PublicKey = std::array<std::uint8_t, 64>;
