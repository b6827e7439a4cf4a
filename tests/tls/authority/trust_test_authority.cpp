// Makes the tests' certificate authority trusted inside the test Wine prefix only:
//   hollowmere-trust-authority.exe AUTHORITY.pem SERVER.pem HOST
// adds AUTHORITY to the current user's Root store (replacing any earlier authority of the
// same name, so runs don't pile them up) and checks that SERVER now chains to a trusted
// root and passes the TLS server policy for HOST. Adding a root can fail silently, so
// only that last check proves trust. Exit code 0 when trusted, 1 otherwise, with the
// reason on standard error.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

bool Fail(const wchar_t* what) {
    std::fwprintf(stderr, L"hollowmere-trust-authority: %ls (error %lu)\n", what, GetLastError());
    return false;
}

// A certificate from a PEM file; null when it cannot be read.
PCCERT_CONTEXT LoadCertificate(const std::wstring& path) {
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    const std::string pem((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    DWORD size = 0;
    if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr, &size,
                              nullptr, nullptr))
        return nullptr;
    std::vector<BYTE> der(size);
    if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(), &size,
                              nullptr, nullptr))
        return nullptr;
    return CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), size);
}

bool AddAuthority(PCCERT_CONTEXT authority) {
    HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    if (!root) return Fail(L"cannot open the current user's Root store");
    // Earlier test authorities of the same name go first; each run may have made a new one.
    std::vector<PCCERT_CONTEXT> stale;
    PCCERT_CONTEXT found = nullptr;
    while ((found = CertFindCertificateInStore(root, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_NAME,
                                               &authority->pCertInfo->Subject, found)) != nullptr) {
        if (!CertCompareCertificate(X509_ASN_ENCODING, found->pCertInfo, authority->pCertInfo))
            stale.push_back(CertDuplicateCertificateContext(found));
    }
    for (PCCERT_CONTEXT old : stale) CertDeleteCertificateFromStore(old);  // frees old too
    // Written out now: Wine writes a store back to the registry only when its last
    // reference goes, and after a deletion that did not happen at the close.
    const bool added = CertAddCertificateContextToStore(root, authority, CERT_STORE_ADD_REPLACE_EXISTING, nullptr) &&
                       CertControlStore(root, 0, CERT_STORE_CTRL_COMMIT, nullptr);
    CertCloseStore(root, 0);
    return added || Fail(L"cannot add the authority to the current user's Root store");
}

bool IsTrustedServer(PCCERT_CONTEXT server, const std::wstring& host) {
    CERT_CHAIN_PARA parameters = {};
    parameters.cbSize = sizeof(parameters);
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!CertGetCertificateChain(nullptr, server, nullptr, nullptr, &parameters, 0, nullptr, &chain))
        return Fail(L"cannot build the server certificate's chain");
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl = {};
    ssl.cbSize = sizeof(ssl);
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = const_cast<wchar_t*>(host.c_str());
    CERT_CHAIN_POLICY_PARA policy = {};
    policy.cbSize = sizeof(policy);
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status = {};
    status.cbSize = sizeof(status);
    const bool checked = CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status);
    const DWORD chainError = chain->TrustStatus.dwErrorStatus;
    CertFreeCertificateChain(chain);
    if (!checked) return Fail(L"cannot check the TLS server policy");
    SetLastError(chainError != CERT_TRUST_NO_ERROR ? chainError : status.dwError);
    return (chainError == CERT_TRUST_NO_ERROR && status.dwError == 0) ||
           Fail(L"the server certificate does not chain to a trusted root or fails the TLS server policy");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) return Fail(L"usage: hollowmere-trust-authority AUTHORITY.pem SERVER.pem HOST"), 1;
    PCCERT_CONTEXT authority = LoadCertificate(argv[1]);
    PCCERT_CONTEXT server = LoadCertificate(argv[2]);
    if (!authority || !server) return Fail(L"cannot read the certificates"), 1;
    const bool trusted = AddAuthority(authority) && IsTrustedServer(server, argv[3]);
    CertFreeCertificateContext(authority);
    CertFreeCertificateContext(server);
    if (trusted) std::fwprintf(stdout, L"the test authority is trusted in this prefix; %ls passes for %ls\n", argv[2], argv[3]);
    return trusted ? 0 : 1;
}
