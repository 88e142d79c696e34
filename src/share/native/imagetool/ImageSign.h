// Authenticode signatures of launchers and installers, made and verified by
// osslsigncode with a key that is opened, and its password checked, before
// any file is touched.
#pragma once

#include "PackagingHost.h"
#include "ToolCommandLine.h"

namespace imagetool {

class Signer {
public:
    // Finds osslsigncode, reads the password and opens the key; fails with
    // one line before anything is written.
    explicit Signer(const SigningOptions& options);

    // Signs `in` into `out`, where nothing exists yet, and verifies the
    // signature there. Messages name `shownPath`, the file the user knows.
    void signInto(const tstring& in, const tstring& out, const tstring& shownPath) const;

    // Signs the file at `path` in place: through a signed copy beside it
    // that replaces it only when it verified.
    void signInPlace(const tstring& path) const;

    // "as "<signer>" (SHA-256[, timestamped by <url>])".
    tstring summary() const;

private:
    tstring osslsigncode;
    tstring pkcs12;
    tstring timestampUrl;
    std::string password;
    SigningKey key;
};

int signFiles(const SignCommand& command);

}  // namespace imagetool
