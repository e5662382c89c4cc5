// SHA-256 and ECDSA P-256 signature checks with CNG (bcrypt.dll, loaded by full path).
#pragma once
#include <windows.h>
#include <bcrypt.h>

#include <cstddef>
#include <string>

#include "common/digests.h"
#include "system/handles_win.h"

struct AlgorithmTraits {
    static BCRYPT_ALG_HANDLE invalid() { return nullptr; }
    static void close(BCRYPT_ALG_HANDLE h);
};
struct HashTraits {
    static BCRYPT_HASH_HANDLE invalid() { return nullptr; }
    static void close(BCRYPT_HASH_HANDLE h);
};
struct KeyTraits {
    static BCRYPT_KEY_HANDLE invalid() { return nullptr; }
    static void close(BCRYPT_KEY_HANDLE h);
};
using Algorithm = UniqueHandle<BCRYPT_ALG_HANDLE, AlgorithmTraits>;
using HashObject = UniqueHandle<BCRYPT_HASH_HANDLE, HashTraits>;
using KeyObject = UniqueHandle<BCRYPT_KEY_HANDLE, KeyTraits>;

// A SHA-256 computed piece by piece, as the bytes arrive.
class Sha256 {
public:
    Sha256();
    // False when CNG could not provide the hash; then nothing can be verified.
    bool ready() const { return static_cast<bool>(hash_); }
    bool update(const void* bytes, std::size_t size);
    // The digest of everything given; false when the hash failed at any point.
    bool finish(Sha256Digest& digest);

private:
    Algorithm algorithm_;
    HashObject hash_;
    bool failed_ = false;
};

enum class SignatureCheck { Valid, Invalid, Unavailable };

// Whether signature (r || s) is an ECDSA P-256 signature of the SHA-256 of message by the key.
SignatureCheck verifySignature(const std::string& message, const P256Signature& signature, const P256PublicKey& key);

// The release-signing public key built into the executable; false when it is missing.
bool builtInSigningKey(P256PublicKey& key);
