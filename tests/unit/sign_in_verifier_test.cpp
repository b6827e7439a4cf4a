#include <gtest/gtest.h>

#include <set>
#include <string>

#include "play/sign_in.h"

namespace {

TEST(SignInVerifier, FortyThreeUnpaddedBase64UrlCharactersFreshEachTime) {
    static const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string verifier = MakeSignInVerifier();
        ASSERT_EQ(verifier.size(), 43u) << verifier;
        EXPECT_EQ(verifier.find_first_not_of(kAlphabet), std::string::npos) << verifier;
        EXPECT_EQ(verifier.find('='), std::string::npos);
        // 256 bits end in 4 bits shifted left by 2, so the last character is one of 16.
        EXPECT_NE(std::string("AEIMQUYcgkosw048").find(verifier.back()), std::string::npos) << verifier;
        seen.insert(verifier);
    }
    EXPECT_EQ(seen.size(), 200u) << "verifiers repeat: the random source is not used";
}

}  // namespace
