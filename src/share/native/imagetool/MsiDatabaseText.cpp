// Puts the texts that the WiX source carried as tokens into the installer
// database that wixl built, in one Windows code page, with msitools.
#include "MsiDatabaseText.h"

#include <algorithm>

#include "FileUtils.h"
#include "PackagingHost.h"
#include "ToolError.h"
#include "ToolFiles.h"

namespace imagetool {

namespace {

// The tables that can hold the source's texts. Tables with binary columns
// are never exported: msiinfo would write their streams into the current
// directory.
const wchar_t* const textTables[] = {L"Property", L"Directory", L"File", L"Shortcut", L"Registry",
                                     L"CustomAction", L"Component", L"Feature", L"LaunchCondition", L"Upgrade"};

// Western first, then the other single-byte pages, then East Asia's.
const unsigned windowsCodePages[] = {1252, 1250, 1251, 1253, 1254, 1255, 1256, 1257, 1258, 874, 932, 936, 949, 950};

std::string replaceAll(std::string text, const std::string& token, const std::string& replacement) {
    for (std::size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + replacement.size())) {
        text.replace(at, token.size(), replacement);
    }
    return text;
}

class DatabaseEditor {
public:
    DatabaseEditor(const tstring& msi, const tstring& workDir)
        : msi(msi),
          workDir(workDir),
          msibuild(requireProgram(external_program::msibuild)),
          msiinfo(requireProgram(external_program::msiinfo)) {}

    void importTable(const tstring& name, const std::string& idt) {
        const tstring file = FileUtils::combinePath(workDir, name + L".idt");
        removeTree(file);
        writeWholeFile(file, idt, FileCreation::newFile, file);
        expectSuccess(runProgram(msibuild, {msi, L"-i", file}), L"msibuild");
    }

    tstring_array tables() {
        const ProgramOutput listed = expectSuccess(runProgram(msiinfo, {L"tables", msi}), L"msiinfo");
        tstring_array names;
        for (const tstring& line : tstrings::split(tstrings::fromUtf8(listed.out), L"\n")) {
            const std::size_t end = line.find_last_not_of(L"\r ");
            if (end != tstring::npos) {
                names.push_back(line.substr(0, end + 1));
            }
        }
        return names;
    }

    std::string exportTable(const tstring& name) {
        return expectSuccess(runProgram(msiinfo, {L"export", msi, name}), L"msiinfo").out;
    }

private:
    static ProgramOutput expectSuccess(ProgramOutput run, const wchar_t* program) {
        if (run.exitCode != 0) {
            fail(L"Cannot write the installer's texts: " + tstring(program) + L" says: " + run.reason());
        }
        return run;
    }

    tstring msi;
    tstring workDir;
    tstring msibuild;
    tstring msiinfo;
};

}  // namespace

unsigned codePageForTexts(const std::vector<std::pair<std::string, tstring>>& texts) {
    for (const unsigned codePage : windowsCodePages) {
        bool holdsAll = true;
        for (const auto& entry : texts) {
            holdsAll = holdsAll && codePageHolds(codePage, entry.second);
        }
        if (holdsAll) {
            return codePage;
        }
    }
    return 0;
}

void restoreTexts(const tstring& msi, const WixSource& source, unsigned codePage, const tstring& workDir) {
    DatabaseEditor database(msi, workDir);
    database.importTable(L"_ForceCodepage", "\r\n\r\n" + std::to_string(codePage) + "\t_ForceCodepage\r\n");
    const tstring_array present = database.tables();
    for (const tstring table : textTables) {
        if (std::find(present.begin(), present.end(), table) == present.end()) {
            continue;
        }
        const std::string exported = database.exportTable(table);
        std::string restored = exported;
        for (const auto& [token, text] : source.texts) {
            restored = replaceAll(restored, token, tstrings::toUtf8(text));
        }
        if (restored != exported) {
            database.importTable(table, restored);
        }
    }
}

}  // namespace imagetool
