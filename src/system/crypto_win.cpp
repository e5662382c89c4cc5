#include "system/crypto_win.h"

#include <cstring>
#include <vector>

#include "common/resource_ids.h"
#include "system/resources_win.h"
#include "system/system_functions_win.h"

void AlgorithmTraits::close(BCRYPT_ALG_HANDLE h) { bcrypt().BCryptCloseAlgorithmProvider(h, 0); }
void HashTraits::close(BCRYPT_HASH_HANDLE h) { bcrypt().BCryptDestroyHash(h); }
void KeyTraits::close(BCRYPT_KEY_HANDLE h) { bcrypt().BCryptDestroyKey(h); }

namespace {
bool succeeded(NTSTATUS status) { return status >= 0; }

Algorithm openAlgorithm(const wchar_t* name) {
    Algorithm algorithm;
    const BCryptTable& cng = bcrypt();
    if (!cng.complete() || !succeeded(cng.BCryptOpenAlgorithmProvider(algorithm.out(), name, nullptr, 0))) {
        return Algorithm();
    }
    return algorithm;
}
}  // namespace

Sha256::Sha256() : algorithm_(openAlgorithm(BCRYPT_SHA256_ALGORITHM)) {
    if (algorithm_ &&
        !succeeded(bcrypt().BCryptCreateHash(algorithm_.get(), hash_.out(), nullptr, 0, nullptr, 0, 0))) {
        hash_.release();
    }
}

bool Sha256::update(const void* bytes, std::size_t size) {
    if (!hash_ || failed_) return false;
    const auto* at = static_cast<const unsigned char*>(bytes);
    // CNG takes at most a ULONG of bytes per call.
    while (size > 0) {
        const ULONG piece = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
        if (!succeeded(bcrypt().BCryptHashData(hash_.get(), const_cast<PUCHAR>(at), piece, 0))) failed_ = true;
        at += piece;
        size -= piece;
    }
    return !failed_;
}

bool Sha256::finish(Sha256Digest& digest) {
    if (!hash_ || failed_) return false;
    return succeeded(bcrypt().BCryptFinishHash(hash_.get(), digest.data(), static_cast<ULONG>(digest.size()), 0));
}

SignatureCheck verifySignature(const std::string& message, const P256Signature& signature, const P256PublicKey& key) {
    Sha256 hash;
    Sha256Digest digest{};
    if (!hash.ready() || !hash.update(message.data(), message.size()) || !hash.finish(digest)) {
        return SignatureCheck::Unavailable;
    }
    const Algorithm ecdsa = openAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
    if (!ecdsa) return SignatureCheck::Unavailable;
    std::vector<unsigned char> blob(sizeof(BCRYPT_ECCKEY_BLOB) + key.size());
    BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    std::memcpy(blob.data(), &header, sizeof header);
    std::memcpy(blob.data() + sizeof header, key.data(), key.size());
    KeyObject publicKey;
    if (!succeeded(bcrypt().BCryptImportKeyPair(ecdsa.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, publicKey.out(),
                                                blob.data(), static_cast<ULONG>(blob.size()), 0))) {
        return SignatureCheck::Unavailable;
    }
    P256Signature copy = signature;
    const NTSTATUS status = bcrypt().BCryptVerifySignature(publicKey.get(), nullptr, digest.data(),
                                                           static_cast<ULONG>(digest.size()), copy.data(),
                                                           static_cast<ULONG>(copy.size()), 0);
    return succeeded(status) ? SignatureCheck::Valid : SignatureCheck::Invalid;
}

bool builtInSigningKey(P256PublicKey& key) {
    const void* data = nullptr;
    DWORD size = 0;
    if (!readResourceBytes(SIGNING_KEY_ID, SIGNING_KEY_TYPE, &data, &size) || size != key.size()) return false;
    std::memcpy(key.data(), data, key.size());
    return true;
}
