// End-to-end tests of "kivo-image sign" and of the signing options of
// create: signatures that osslsigncode verifies with the test's authority,
// launchers that still start and check as signed, and keys or passwords
// that fail before any file changes.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "FileUtils.h"
#include "ImageTool.h"
#include "SigningKit.h"
#include "TestFiles.h"

using testing_support::CreateInputs;
using testing_support::ProcessOptions;
using testing_support::ProcessResult;
using testing_support::readFile;
using testing_support::runImageTool;
using testing_support::SigningKit;
using testing_support::writeFile;

namespace {

std::string utf8(const tstring& text) { return tstrings::toUtf8(text); }

tstring join(const tstring& dir, const tstring& name) { return FileUtils::combinePath(dir, name); }

const SigningKit& kit() {
    static const SigningKit shared;
    return shared;
}

// An image whose launcher is still unsigned, made by the native tool.
struct UnsignedImage {
    explicit UnsignedImage(const tstring_array& extraCreateArgs = {}) {
        tstring_array args = inputs.createArgs(L"Signed");
        args.insert(args.end(), extraCreateArgs.begin(), extraCreateArgs.end());
        created = runImageTool(args);
        EXPECT_EQ(created.exitCode, 0u) << created.out << created.err;
    }

    tstring launcher() const { return join(inputs.dest, L"Signed.exe"); }

    CreateInputs inputs;
    ProcessResult created;
};

tstring_array signArgs(const tstring_array& files, const tstring_array& options) {
    tstring_array args = {L"sign"};
    args.insert(args.end(), files.begin(), files.end());
    args.insert(args.end(), {L"--pkcs12", kit().pkcs12()});
    args.insert(args.end(), options.begin(), options.end());
    return args;
}

std::string signedLine(const tstring& path, const std::string& how = "SHA-256") {
    return "Signed \"" + utf8(path) + "\" as \"" + kit().signerName() + "\" (" + how + ")\n";
}

void expectVerifies(const tstring& file) {
    const ProcessResult verified = kit().verify(file);
    EXPECT_EQ(verified.exitCode, 0u) << verified.out << verified.err;
    EXPECT_NE(verified.out.find("Signature verification: ok"), std::string::npos) << verified.out;
}

}  // namespace

TEST(ImageSignTest, SignsALauncherAndAnInstallerThatThenVerifyLaunchAndCheck) {
    UnsignedImage image({L"--version", L"1.0.0.0", L"--company", L"Kivo Test Publisher"});
    const tstring msi = join(image.inputs.temp.path(), L"Signed.msi");
    ASSERT_EQ(runImageTool({L"package", image.inputs.dest, L"--msi", msi}).exitCode, 0u);

    const ProcessResult result =
        runImageTool(signArgs({image.launcher(), msi}, {L"--password-file", kit().passwordFile()}));

    ASSERT_EQ(result.exitCode, 0u) << result.err;
    EXPECT_EQ(result.out, signedLine(image.launcher()) + signedLine(msi));
    EXPECT_EQ(result.err, "");
    expectVerifies(image.launcher());
    expectVerifies(msi);
    EXPECT_EQ(testing_support::listNames(image.inputs.dest), (std::vector<std::string>{"Signed.exe", "app", "runtime"}));

    const ProcessResult launched = testing_support::runUnderWine({image.launcher(), L"argument"});
    EXPECT_EQ(launched.exitCode, 0u) << launched.err;
    EXPECT_NE(launched.out.find("qsr: begin"), std::string::npos) << launched.out;
    const ProcessResult checked = runImageTool({L"check", image.launcher()});
    EXPECT_NE(checked.out.find("   signed by \"" + kit().signerName() + "\", intact\n"), std::string::npos)
        << checked.out;
    const ProcessResult branded = runImageTool({L"brand", image.launcher(), L"--version", L"2.0.0.0"});
    EXPECT_EQ(branded.exitCode, 1u);
    EXPECT_NE(branded.err.find("is signed: brand the launcher before signing it"), std::string::npos) << branded.err;
}

TEST(ImageSignTest, TakesThePasswordFromAVariableAndTimestamps) {
    UnsignedImage image;
    testing_support::TimestampResponder responder(kit());
    ProcessOptions options;
    options.env[L"KIVO_TEST_KEY_PASSWORD"] = tstrings::fromUtf8(kit().password());
    const tstring url = tstrings::fromUtf8(responder.url());

    const ProcessResult result = runImageTool(
        signArgs({image.launcher()}, {L"--password-env", L"KIVO_TEST_KEY_PASSWORD", L"--timestamp", url}), options);

    ASSERT_EQ(result.exitCode, 0u) << result.err;
    EXPECT_EQ(result.out, signedLine(image.launcher(), "SHA-256, timestamped by " + responder.url()));
    EXPECT_EQ(responder.requestsAnswered(), 1);
    const ProcessResult verified = kit().verify(image.launcher());
    EXPECT_NE(verified.out.find("Timestamp Server Signature verification: ok"), std::string::npos) << verified.out;
}

TEST(ImageSignTest, CreateSignsTheLauncherAfterBrandingIt) {
    ProcessOptions options;
    options.env[L"KIVO_SIGN_PASSWORD"] = tstrings::fromUtf8(kit().password());
    CreateInputs inputs;
    tstring_array args = inputs.createArgs(L"Signed");
    args.insert(args.end(), {L"--version", L"1.0.0.0", L"--pkcs12", kit().pkcs12()});

    const ProcessResult result = runImageTool(args, options);

    ASSERT_EQ(result.exitCode, 0u) << result.err;
    EXPECT_EQ(result.out.find("Created \"" + utf8(inputs.dest) + "\": Signed.exe (branded, signed as \"" +
                              kit().signerName() + "\" (SHA-256)), app\\"),
              0u)
        << result.out;
    expectVerifies(join(inputs.dest, L"Signed.exe"));
}

struct SigningFailure {
    const char* what;
    std::function<tstring_array(const UnsignedImage&)> options;
    std::function<std::string(const UnsignedImage&)> message;
};

TEST(ImageSignTest, ABadKeyOrPasswordChangesNoFile) {
    const std::vector<SigningFailure> failures = {
        {"a wrong password",
         [](const UnsignedImage& image) {
             const tstring file = join(image.inputs.temp.path(), L"wrong.txt");
             writeFile(file, "not the password\n");
             return tstring_array{L"--pkcs12", kit().pkcs12(), L"--password-file", file};
         },
         [](const UnsignedImage&) {
             return "The PKCS#12 file \"" + utf8(kit().pkcs12()) + "\" does not open with the given password";
         }},
        {"an unset variable",
         [](const UnsignedImage&) {
             return tstring_array{L"--pkcs12", kit().pkcs12(), L"--password-env", L"KIVO_TEST_NO_SUCH_VARIABLE"};
         },
         [](const UnsignedImage&) {
             return std::string("The environment variable KIVO_TEST_NO_SUCH_VARIABLE that holds the password is not set");
         }},
        {"a key file that is no PKCS#12 file",
         [](const UnsignedImage& image) {
             return tstring_array{L"--pkcs12", image.inputs.config, L"--password-file", kit().passwordFile()};
         },
         [](const UnsignedImage& image) { return "\"" + utf8(image.inputs.config) + "\" is not a PKCS#12 file"; }},
        {"an unreachable timestamp server",
         [](const UnsignedImage&) {
             return tstring_array{L"--pkcs12", kit().pkcs12(), L"--password-file", kit().passwordFile(),
                                  L"--timestamp", L"http://127.0.0.1:9/"};
         },
         [](const UnsignedImage& image) {
             return "Cannot sign \"" + utf8(image.launcher()) +
                    "\": osslsigncode says: CURL failure: Couldn't connect to server http://127.0.0.1:9/";
         }},
    };
    for (const SigningFailure& failure : failures) {
        SCOPED_TRACE(failure.what);
        UnsignedImage image;
        const std::string before = readFile(image.launcher());
        tstring_array args = {L"sign", image.launcher()};
        const tstring_array options = failure.options(image);
        args.insert(args.end(), options.begin(), options.end());

        const ProcessResult result = runImageTool(args);

        EXPECT_EQ(result.exitCode, 1u);
        EXPECT_EQ(result.err, "kivo-image: " + failure.message(image) + "\n");
        EXPECT_EQ(result.out.find(kit().password()), std::string::npos);
        EXPECT_EQ(result.err.find(kit().password()), std::string::npos);
        EXPECT_EQ(readFile(image.launcher()), before);
        EXPECT_EQ(testing_support::listNames(image.inputs.dest),
                  (std::vector<std::string>{"Signed.exe", "app", "runtime"}));
    }
}

TEST(ImageSignTest, WindowsBuildSendsTheUserToTheLinuxBuild) {
    CreateInputs inputs;
    tstring_array create = inputs.createArgs(L"Signed");
    create.insert(create.end(), {L"--pkcs12", L"key.p12"});
    for (const tstring_array& args : {tstring_array{L"sign", L"app.exe", L"--pkcs12", L"key.p12"}, create}) {
        const ProcessResult result = testing_support::runWindowsImageTool(args);

        EXPECT_EQ(result.exitCode, 1u);
        EXPECT_EQ(result.err,
                  "kivo-image: Signatures are made by the Linux build of kivo-image, which runs osslsigncode; run "
                  "the same command there\r\n");
        EXPECT_FALSE(testing_support::pathExists(inputs.dest));
    }
}
