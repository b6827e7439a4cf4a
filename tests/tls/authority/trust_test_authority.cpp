// Makes the tests' certificate authority trusted inside the test Wine prefix only:
//   hollowmere-trust-authority.exe AUTHORITY.pem SERVER.pem HOST
// adds AUTHORITY to the current user's Root store (replacing any earlier authority of the
// same name, so runs don't pile them up), reads the store back to see that it is there,
// and checks that SERVER now chains to a trusted root and passes the TLS server policy
// for HOST. Adding a root can fail silently, so only that last check proves trust.
// Exit code 0 when trusted, 1 otherwise, with the reason on standard error.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct CertificateHolder {
    PCCERT_CONTEXT context = nullptr;
    explicit CertificateHolder(PCCERT_CONTEXT opened) : context(opened) {}
    ~CertificateHolder() {
        if (context) CertFreeCertificateContext(context);
    }
    CertificateHolder(const CertificateHolder&) = delete;
    CertificateHolder& operator=(const CertificateHolder&) = delete;
};

struct StoreHolder {
    HCERTSTORE store = nullptr;
    explicit StoreHolder(HCERTSTORE opened) : store(opened) {}
    ~StoreHolder() {
        if (store) CertCloseStore(store, 0);
    }
    StoreHolder(const StoreHolder&) = delete;
    StoreHolder& operator=(const StoreHolder&) = delete;
};

struct ChainHolder {
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    ~ChainHolder() {
        if (chain) CertFreeCertificateChain(chain);
    }
};

bool Fail(const wchar_t* what, const std::wstring& detail = std::wstring()) {
    std::fwprintf(stderr, L"hollowmere-trust-authority: %ls%ls (error %lu)\n", what, detail.c_str(),
                  GetLastError());
    return false;
}

// A certificate from a PEM file (or a DER one); null when it cannot be read.
PCCERT_CONTEXT LoadCertificate(const std::wstring& path) {
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    if (!file.is_open()) return nullptr;
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<BYTE> der(bytes.begin(), bytes.end());
    if (bytes.compare(0, 10, "-----BEGIN") == 0) {
        DWORD size = 0;
        if (!CryptStringToBinaryA(bytes.c_str(), static_cast<DWORD>(bytes.size()), CRYPT_STRING_BASE64HEADER,
                                  nullptr, &size, nullptr, nullptr))
            return nullptr;
        der.assign(size, 0);
        if (!CryptStringToBinaryA(bytes.c_str(), static_cast<DWORD>(bytes.size()), CRYPT_STRING_BASE64HEADER,
                                  der.data(), &size, nullptr, nullptr))
            return nullptr;
        der.resize(size);
    }
    if (der.empty()) return nullptr;
    return CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
}

HCERTSTORE OpenUserRootStore() {
    return CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
}

bool AddAuthority(PCCERT_CONTEXT authority) {
    StoreHolder root(OpenUserRootStore());
    if (!root.store) return Fail(L"cannot open the current user's Root store");
    // Earlier test authorities of the same name go first; each run may have made a new one.
    std::vector<PCCERT_CONTEXT> stale;
    PCCERT_CONTEXT found = nullptr;
    while ((found = CertFindCertificateInStore(root.store, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_NAME,
                                               &authority->pCertInfo->Subject, found)) != nullptr) {
        if (!CertCompareCertificate(X509_ASN_ENCODING, found->pCertInfo, authority->pCertInfo))
            stale.push_back(CertDuplicateCertificateContext(found));
    }
    for (PCCERT_CONTEXT old : stale) CertDeleteCertificateFromStore(old);  // frees old too
    if (!CertAddCertificateContextToStore(root.store, authority, CERT_STORE_ADD_REPLACE_EXISTING, nullptr))
        return Fail(L"cannot add the authority to the current user's Root store");
    // Written out now: Wine writes a store back to the registry only when its last
    // reference goes, and after a deletion that did not happen at the close.
    if (!CertControlStore(root.store, 0, CERT_STORE_CTRL_COMMIT, nullptr))
        return Fail(L"cannot write the current user's Root store");
    return true;
}

bool IsInUserRootStore(PCCERT_CONTEXT authority) {
    StoreHolder root(OpenUserRootStore());
    if (!root.store) return Fail(L"cannot open the current user's Root store again");
    CertificateHolder found(
        CertFindCertificateInStore(root.store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, authority, nullptr));
    return found.context != nullptr || Fail(L"the authority is not in the Root store after adding it");
}

bool IsTrustedServer(PCCERT_CONTEXT server, const std::wstring& host) {
    CERT_CHAIN_PARA parameters = {};
    parameters.cbSize = sizeof(parameters);
    ChainHolder chain;
    if (!CertGetCertificateChain(nullptr, server, nullptr, nullptr, &parameters, 0, nullptr, &chain.chain))
        return Fail(L"cannot build the server certificate's chain");
    if (chain.chain->TrustStatus.dwErrorStatus != CERT_TRUST_NO_ERROR) {
        SetLastError(chain.chain->TrustStatus.dwErrorStatus);
        return Fail(L"the server certificate does not chain to a trusted root");
    }
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl = {};
    ssl.cbSize = sizeof(ssl);
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = const_cast<wchar_t*>(host.c_str());
    CERT_CHAIN_POLICY_PARA policy = {};
    policy.cbSize = sizeof(policy);
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status = {};
    status.cbSize = sizeof(status);
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.chain, &policy, &status))
        return Fail(L"cannot check the TLS server policy");
    if (status.dwError != 0) {
        SetLastError(status.dwError);
        return Fail(L"the server certificate fails the TLS server policy for ", host);
    }
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fwprintf(stderr, L"usage: hollowmere-trust-authority AUTHORITY.pem SERVER.pem HOST\n");
        return 1;
    }
    CertificateHolder authority(LoadCertificate(argv[1]));
    if (!authority.context) return Fail(L"cannot read the authority from ", argv[1]), 1;
    CertificateHolder server(LoadCertificate(argv[2]));
    if (!server.context) return Fail(L"cannot read the server certificate from ", argv[2]), 1;
    if (!AddAuthority(authority.context) || !IsInUserRootStore(authority.context) ||
        !IsTrustedServer(server.context, argv[3]))
        return 1;
    std::fwprintf(stdout, L"the test authority is trusted in this prefix; %ls passes for %ls\n", argv[2], argv[3]);
    return 0;
}
