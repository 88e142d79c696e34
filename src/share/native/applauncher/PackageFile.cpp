// The package file ".package" of the application directory, whose first line
// names the installed package.
#include "PackageFile.h"

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "Log.h"
#include "TextFileReader.h"

PackageFile PackageFile::loadFromAppDir(const tstring& appDir) {
    const tstring path = FileUtils::combinePath(appDir, L".package");
    if (!FileUtils::exists(path)) {
        return PackageFile();
    }
    TRACE_MSG("Read \"" << path << "\" package file");
    TextFileReader reader(path);
    if (!reader.isOpen()) {
        RAISE(tstrings::Builder() << "Error opening \"" << path << "\" file: " << reader.errorText());
    }
    std::string firstLine;
    if (!reader.readLine(firstLine)) {
        return PackageFile();
    }
    const tstring packageName = tstrings::fromUtf8(firstLine);
    TRACE_MSG("Package name is [" << packageName << "]");
    return PackageFile(packageName);
}
