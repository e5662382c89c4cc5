// trust_ca <ca.der>: adds a DER certificate to the machine's "Root" store, so that WinINet
// inside this Wine prefix accepts servers whose certificates that CA issued. Test use only:
// it runs inside a throw-away prefix, never against the host's trust store.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <cwchar>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fwprintf(stderr, L"usage: trust_ca <certificate.der>\n");
        return 2;
    }
    HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fwprintf(stderr, L"trust_ca: cannot open %ls (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    std::vector<BYTE> der;
    BYTE buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) der.insert(der.end(), buffer, buffer + read);
    CloseHandle(file);
    if (der.empty() || der.size() > (1u << 20)) {
        std::fwprintf(stderr, L"trust_ca: %ls is empty or too large\n", argv[1]);
        return 1;
    }
    if (!CertAddEncodedCertificateToSystemStoreA("Root", der.data(), static_cast<DWORD>(der.size()))) {
        std::fwprintf(stderr, L"trust_ca: adding the certificate failed (error 0x%08lx)\n", GetLastError());
        return 1;
    }
    std::wprintf(L"trusted %ls (%u bytes) in the Root store\n", argv[1], static_cast<unsigned>(der.size()));
    return 0;
}
