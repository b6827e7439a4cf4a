#include "update/launcher_signature.h"

#include <windows.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <vector>

namespace {

// The signer's certificate of a file's embedded signature, with the store and message
// that keep it alive.
struct SignerCertificate {
    HCERTSTORE store = nullptr;
    HCRYPTMSG message = nullptr;
    PCCERT_CONTEXT certificate = nullptr;
    SignerCertificate() = default;
    SignerCertificate(const SignerCertificate&) = delete;
    SignerCertificate& operator=(const SignerCertificate&) = delete;
    ~SignerCertificate() {
        if (certificate) CertFreeCertificateContext(certificate);
        if (message) CryptMsgClose(message);
        if (store) CertCloseStore(store, 0);
    }
};

// False when the file carries no embedded signature whose signer certificate is in it.
bool ReadSignerCertificate(const std::wstring& path, SignerCertificate& signer) {
    DWORD encoding = 0, contentType = 0, formatType = 0;
    if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                          CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &contentType, &formatType, &signer.store,
                          &signer.message, nullptr))
        return false;
    DWORD size = 0;
    if (!CryptMsgGetParam(signer.message, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size) || size == 0) return false;
    std::vector<BYTE> buffer(size);
    if (!CryptMsgGetParam(signer.message, CMSG_SIGNER_INFO_PARAM, 0, buffer.data(), &size)) return false;
    const auto* info = reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer.data());
    CERT_INFO wanted = {};
    wanted.Issuer = info->Issuer;
    wanted.SerialNumber = info->SerialNumber;
    signer.certificate = CertFindCertificateInStore(signer.store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                    CERT_FIND_SUBJECT_CERT, &wanted, nullptr);
    return signer.certificate != nullptr;
}

// Windows' own verdict on the file's signature, without any window. Revocation is
// looked up in what Windows has cached only: fetching lists over the network at every
// start would turn a slow or captive network into a refused update, and the key
// comparison is what stops a launcher of anyone else.
bool PassesSignatureCheck(const std::wstring& path) {
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = path.c_str();
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG result = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return result == 0;
}

}  // namespace

HandOverVerdict JudgeDownloadedLauncher(const std::wstring& ownPath, const std::wstring& downloadedPath) {
    SignerCertificate own;
    if (!ReadSignerCertificate(ownPath, own)) return HandOverVerdict::Allowed;
    // The key, not the name: a certificate with the publisher's name is easy to come by.
    SignerCertificate theirs;
    if (!PassesSignatureCheck(downloadedPath) || !ReadSignerCertificate(downloadedPath, theirs) ||
        !CertComparePublicKeyInfo(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING,
                                  &own.certificate->pCertInfo->SubjectPublicKeyInfo,
                                  &theirs.certificate->pCertInfo->SubjectPublicKeyInfo))
        return HandOverVerdict::NotVerified;
    return HandOverVerdict::Allowed;
}
