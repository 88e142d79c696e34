// The signing kit itself: a launcher that it signs verifies against its
// authority, and one timestamped through its responder verifies against
// the authority as the timestamps' one too.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "FileUtils.h"
#include "ImageTool.h"
#include "SigningKit.h"

using FileUtils::combinePath;
using testing_support::ProcessResult;
using testing_support::SigningKit;
using testing_support::TempDir;
using testing_support::TimestampResponder;

namespace {

// A copy of the cross build's console launcher, which stays as it is.
tstring launcherCopy(const TempDir& temp) {
    const tstring copy = combinePath(temp.path(), L"unsigned.exe");
    testing_support::copyFile(combinePath(testing_support::windowsBinDir(), L"kivo.exe"), copy);
    return copy;
}

// The lines of `expected` that the verification's output lacks.
std::vector<std::string> missingLines(const ProcessResult& result, const std::vector<std::string>& expected) {
    const std::vector<std::string> shown = testing_support::lines(result.out);
    std::vector<std::string> missing;
    for (const std::string& line : expected) {
        if (std::find(shown.begin(), shown.end(), line) == shown.end()) {
            missing.push_back(line);
        }
    }
    return missing;
}

const std::vector<std::string> kSignerLines = {
    "\t\tSubject: /CN=Kivo Test Signer",
    "\t\tIssuer : /CN=Kivo Test Authority",
    "Signature verification: ok",
    "Number of verified signatures: 1",
    "Succeeded",
};

// osslsigncode names the timestamping certificate by its issuer and serial.
const std::vector<std::string> kTimestampLines = {
    "Hash Algorithm: sha256",
    "Timestamp Verified by:",
    "\t\tIssuer : /CN=Kivo Test Authority",
    "\t\tSerial : 01",
    "Timestamp Server Signature verification: ok",
};

}  // namespace

TEST(SigningKit, SignedLauncherVerifiesAgainstTheAuthority) {
    const SigningKit kit;
    const TempDir temp(L"kivo-signed");
    const tstring signedFile = combinePath(temp.path(), L"signed.exe");
    kit.sign(launcherCopy(temp), signedFile);

    const ProcessResult result = kit.verify(signedFile);
    EXPECT_EQ(result.exitCode, 0u) << result.out << result.err;
    EXPECT_EQ(missingLines(result, kSignerLines), std::vector<std::string>()) << result.out;
    EXPECT_EQ(missingLines(result, {"Timestamp is not available"}), std::vector<std::string>()) << result.out;
}

TEST(SigningKit, TimestampedLauncherVerifiesAgainstTheResponder) {
    const SigningKit kit;
    const TempDir temp(L"kivo-timestamped");
    const tstring signedFile = combinePath(temp.path(), L"signed.exe");
    {
        const TimestampResponder responder(kit);
        kit.signWithTimestamp(launcherCopy(temp), signedFile, responder.url());
        EXPECT_EQ(responder.requestsAnswered(), 1);
    }

    const ProcessResult result = kit.verify(signedFile);
    EXPECT_EQ(result.exitCode, 0u) << result.out << result.err;
    EXPECT_EQ(missingLines(result, kSignerLines), std::vector<std::string>()) << result.out;
    // A timestamp that fails verification still gives exit code 0.
    EXPECT_EQ(missingLines(result, kTimestampLines), std::vector<std::string>()) << result.out;
    EXPECT_NE(result.out.find("\nThe signature is timestamped: "), std::string::npos) << result.out;
}
