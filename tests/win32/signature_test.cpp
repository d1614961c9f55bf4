// Windows' own check of the programs' Authenticode signatures, WinVerifyTrust, on the copies
// that sign_copies.sh made before this test (ctest's fixture SignedCopies): as built, signed
// with a throwaway certificate, and signed with one byte changed.
#include "platform/owned.h"
#include "platform/process.h"
#include "test_support.h"

#include <windows.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

BOOL CloseStore(HCERTSTORE store) {
    return ::CertCloseStore(store, 0);
}
using OwnedStore = platform::Owned<HCERTSTORE, &CloseStore>;
using OwnedCertificate = platform::Owned<PCCERT_CONTEXT, &::CertFreeCertificateContext>;

// What WinVerifyTrust says of a file, without any user interface or revocation check.
LONG VerifyTrust(const std::wstring& file) {
    WINTRUST_FILE_INFO info{};
    info.cbStruct = sizeof(info);
    info.pcwszFilePath = file.c_str();
    WINTRUST_DATA data{};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &info;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const HWND noWindow = static_cast<HWND>(INVALID_HANDLE_VALUE);
    const LONG result = ::WinVerifyTrust(noWindow, &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE; // releases what the check kept
    ::WinVerifyTrust(noWindow, &action, &data);
    return result;
}

// The throwaway root in the current user's Root store while this lives, written through at
// once; removed again after, so that nothing else in the prefix trusts it.
class TrustedRoot {
public:
    explicit TrustedRoot(const std::string& der)
        : store_(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER,
                                 L"Root")) {
        if (store_ &&
            ::CertAddEncodedCertificateToStore(
                store_.get(), X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, added_.put())) {
            ::CertControlStore(store_.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr);
        }
    }
    TrustedRoot(const TrustedRoot&) = delete;
    TrustedRoot& operator=(const TrustedRoot&) = delete;
    ~TrustedRoot() {
        if (added_) {
            // Deleting frees the context it is given: it gets a reference of its own.
            ::CertDeleteCertificateFromStore(::CertDuplicateCertificateContext(added_.get()));
            ::CertControlStore(store_.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr);
        }
    }

    bool added() const { return static_cast<bool>(added_); }

private:
    OwnedStore store_;
    OwnedCertificate added_;
};

// The copies lie in signing\ beside this program in the kit for Windows, one folder up in the
// build, where the fixture makes them.
std::wstring Copy(const wchar_t* program, const wchar_t* kind) {
    const std::wstring beside = platform::ProgramFolder() + L"\\signing\\";
    const bool inKit = ::GetFileAttributesW(beside.c_str()) != INVALID_FILE_ATTRIBUTES;
    return (inKit ? beside : platform::ProgramFolder() + L"\\..\\signing\\") + program + kind;
}

// Each program's copy of one kind gives the expected answer; the answers go to the log.
void ExpectForBoth(const wchar_t* kind, LONG expected) {
    for (const wchar_t* program : {L"tamsel", L"Ironvale"}) {
        const LONG result = VerifyTrust(Copy(program, kind));
        std::printf("WinVerifyTrust %ls%ls: 0x%08lX\n", program, kind,
                    static_cast<unsigned long>(result));
        EXPECT_EQ(result, expected) << program << kind;
    }
}

// Wine's chain engine reads the Root store once per process, at its first check: each case
// runs in a process of its own, as ctest runs them, and the root's case adds it before any
// check. Their order is the order below.
TEST(Signature, ProgramsAsBuiltHaveNone) {
    ExpectForBoth(L".exe", TRUST_E_NOSIGNATURE);
}

TEST(Signature, TrustedOnceTheRootIsKnownUnlessChanged) {
    const std::string root = test::ReadBytes(Copy(L"cert\\", L"ca.cer"));
    ASSERT_FALSE(root.empty()) << "no throwaway certificate: the fixture SignedCopies makes it";
    TrustedRoot trusted(root);
    ASSERT_TRUE(trusted.added());
    ExpectForBoth(L".signed.exe", S_OK);
    ExpectForBoth(L".changed.exe", TRUST_E_BAD_DIGEST);
}

// After the case above: its root is gone again.
TEST(Signature, UntrustedWhileTheRootIsUnknown) {
    ExpectForBoth(L".signed.exe", CERT_E_UNTRUSTEDROOT);
}

} // namespace
