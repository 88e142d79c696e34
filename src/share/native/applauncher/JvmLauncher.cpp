// The runtime launcher: argument assembly from the configuration, the launch
// data buffer with the exported table of functions, and the runtime's start.
#include "JvmLauncher.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "CfgFile.h"
#include "Dll.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "Log.h"
#include "SysInfo.h"

namespace {

const CfgProperties::value_type* findProperty(const CfgProperties& properties, CfgPropertyId id) {
    const auto it = properties.find(id);
    return it == properties.end() ? nullptr : &*it;
}

std::size_t valueCount(const CfgProperties& properties, CfgPropertyId id) {
    const auto it = properties.find(id);
    return it == properties.end() ? 0 : it->second.size();
}

// How many arguments initFromConfigFile adds at most.
std::size_t argumentCountFrom(const CfgFile& cfgFile) {
    const CfgProperties& appOptions = cfgFile.sectionProperties(CfgSectionId::application);
    const std::size_t fixed = 9;
    return fixed + 2 * valueCount(appOptions, CfgPropertyId::appModulePath) +
           valueCount(cfgFile.sectionProperties(CfgSectionId::javaOptions), CfgPropertyId::javaOptions) +
           valueCount(cfgFile.sectionProperties(CfgSectionId::argOptions), CfgPropertyId::arguments);
}

}  // namespace

Jvm::Jvm() {
    TRACE_MSG("Jvm(" << this << ")::Jvm()");
}

Jvm::~Jvm() {
    TRACE_MSG("Jvm(" << this << ")::~Jvm()");
}

Jvm& Jvm::setLibraryPath(const tstring& path) {
    libraryPath = path;
    return *this;
}

Jvm& Jvm::appendArgument(const tstring& value) {
    runtimeArgs.push_back(value);
    return *this;
}

Jvm& Jvm::setAppPath(const tstring& path) {
    appPath = path;
    return *this;
}

Jvm& Jvm::addEnvironmentVariable(const tstring& name, const tstring& value) {
    envNames.push_back(name);
    envValues.push_back(value);
    return *this;
}

Jvm& Jvm::initFromConfigFile(const CfgFile& cfgFile) {
    const CfgProperties& appOptions = cfgFile.sectionProperties(CfgSectionId::application);
    runtimeArgs.reserve(runtimeArgs.size() + argumentCountFrom(cfgFile));

    if (const auto modulePath = findProperty(appOptions, CfgPropertyId::appModulePath)) {
        for (const tstring& value : modulePath->second) {
            appendArgument(L"--module-path").appendArgument(value);
        }
    }

    if (const auto classPath = findProperty(appOptions, CfgPropertyId::appClassPath)) {
        appendArgument(L"-classpath");
        runtimeArgs.push_back(CfgFile::pathList(*classPath));
    }

    if (const auto splash = findProperty(appOptions, CfgPropertyId::appSplash)) {
        const tstring splashPath = CfgFile::lastValue(*splash);
        if (FileUtils::exists(splashPath)) {
            appendArgument(L"-splash:" + splashPath);
        } else {
            WARNING_MSG("Splash property ignored. File \"" << splashPath << "\" not found");
        }
    }

    const CfgProperties& javaOptions = cfgFile.sectionProperties(CfgSectionId::javaOptions);
    if (const auto options = findProperty(javaOptions, CfgPropertyId::javaOptions)) {
        for (const tstring& value : options->second) {
            appendArgument(value);
        }
    }

    appendArgument(L"-Dkivo.app-path=" + (appPath.empty() ? SysInfo::getExecutablePath() : appPath));

    if (const auto mainModule = findProperty(appOptions, CfgPropertyId::appMainModule)) {
        appendArgument(L"-m").appendArgument(CfgFile::lastValue(*mainModule));
    }

    if (const auto mainClass = findProperty(appOptions, CfgPropertyId::appMainClass)) {
        appendArgument(CfgFile::lastValue(*mainClass));
    }

    if (const auto mainJar = findProperty(appOptions, CfgPropertyId::appMainJar)) {
        appendArgument(L"-jar").appendArgument(CfgFile::lastValue(*mainJar));
    }

    const CfgProperties& argOptions = cfgFile.sectionProperties(CfgSectionId::argOptions);
    if (const auto arguments = findProperty(argOptions, CfgPropertyId::arguments)) {
        for (const tstring& value : arguments->second) {
            appendArgument(value);
        }
    }

    return *this;
}

bool Jvm::hasSplashArgument() const {
    return std::any_of(runtimeArgs.begin(), runtimeArgs.end(), [](const tstring& arg) {
        return tstrings::startsWith(arg, L"-splash:", tstrings::CASE_SENSITIVE);
    });
}

void Jvm::applyEnvironment() const {
    for (std::size_t i = 0; i < envNames.size(); ++i) {
        SysInfo::setEnvVariable(envNames[i], envValues[i]);
    }
}

std::int32_t addLaunchDataBytes(std::int32_t size, std::size_t count, std::size_t itemBytes) {
    const std::size_t limit = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
    const std::size_t room = size < 0 ? 0 : limit - static_cast<std::size_t>(size);
    if (size < 0 || (itemBytes != 0 && count > room / itemBytes)) {
        RAISE(tstrings::Builder() << "JvmlLauncherData buffer would exceed " << limit << " bytes");
    }
    return static_cast<std::int32_t>(static_cast<std::size_t>(size) + count * itemBytes);
}

namespace {

// Walks the buffer once, from just after the header: with no buffer it only
// counts the bytes, with one it also hands out the places to write to.
class LaunchDataCursor {
public:
    explicit LaunchDataCursor(char* buffer) : base(buffer), size(sizeof(JvmlLauncherData)) {}

    std::int32_t position() const { return size; }

    // Reserves `count` items of `itemBytes` bytes each; gives their address
    // when filling, null when measuring.
    char* reserve(std::size_t count, std::size_t itemBytes) {
        char* const at = base ? base + size : nullptr;
        size = addLaunchDataBytes(size, count, itemBytes);
        return at;
    }

    template <class Char>
    char* putString(const std::basic_string<Char>& text) {
        char* const at = reserve(text.size() + 1, sizeof(Char));
        if (at) {
            std::memcpy(at, text.c_str(), (text.size() + 1) * sizeof(Char));
        }
        return at;
    }

    // A pointer array followed by the strings its slots point at. The slots
    // need not be aligned, so they are written byte-wise.
    template <class Char>
    char* putStringArray(const std::vector<std::basic_string<Char>>& items, bool nullTerminated) {
        char* const slots = reserve(items.size() + (nullTerminated ? 1 : 0), sizeof(void*));
        for (std::size_t i = 0; i < items.size(); ++i) {
            char* const at = putString(items[i]);
            if (slots) {
                std::memcpy(slots + i * sizeof(void*), &at, sizeof(void*));
            }
        }
        if (slots && nullTerminated) {
            const void* const terminator = nullptr;
            std::memcpy(slots + items.size() * sizeof(void*), &terminator, sizeof(void*));
        }
        return slots;
    }

private:
    char* base;
    std::int32_t size;
};

// The narrow copy of a Jvm that the launch data buffer is filled from.
class QsrLaunchData {
public:
    explicit QsrLaunchData(const Jvm& jvm)
        : libPathUtf8(tstrings::toUtf8(jvm.getLibraryPath())),
          envNames(jvm.getEnvNames()),
          envValues(jvm.getEnvValues()) {
        // The ANSI code page of the process, which the launcher's manifest makes
        // UTF-8 where the system honours it, so that no character is lost.
        runtimeArgs.reserve(jvm.getRuntimeArgs().size());
        for (const tstring& arg : jvm.getRuntimeArgs()) {
            runtimeArgs.push_back(tstrings::toAcp(arg));
        }
    }

    QsrLaunchData(const QsrLaunchData&) = delete;
    QsrLaunchData& operator=(const QsrLaunchData&) = delete;

    // Measures the buffer when `buffer` is null, fills it otherwise; gives
    // the size either way and never writes past it.
    std::int32_t initJvmlLauncherData(JvmlLauncherData* buffer) const {
        char* const base = reinterpret_cast<char*>(buffer);
        LaunchDataCursor cursor(base);
        JvmlLauncherData header = {};
        header.libPath = cursor.putString(libPathUtf8);
        header.argVector = reinterpret_cast<char**>(cursor.putStringArray(runtimeArgs, true));
        header.argCount = static_cast<std::int32_t>(runtimeArgs.size());
        header.envNames = reinterpret_cast<wchar_t**>(cursor.putStringArray(envNames, false));
        header.envCount = static_cast<std::int32_t>(envNames.size());
        header.envValues = reinterpret_cast<wchar_t**>(cursor.putStringArray(envValues, false));

        const std::int32_t size = cursor.position();
        if (base) {
            std::memcpy(base, &header, sizeof(header));
            TRACE_MSG("Initialized " << size << " bytes at " << static_cast<const void*>(base) << " address");
        } else {
            TRACE_MSG("Need " << size << " bytes for JvmlLauncherData buffer");
        }
        return size;
    }

private:
    std::string libPathUtf8;
    std::vector<std::string> runtimeArgs;
    tstring_array envNames;
    tstring_array envValues;
};

const QsrLaunchData& launchDataOf(JvmlLauncherHandle handle) {
    if (!handle) {
        RAISE("Null JvmlLauncherData handle");
    }
    return *static_cast<const QsrLaunchData*>(handle);
}

void closeHandle(JvmlLauncherHandle handle) {
    try {
        delete static_cast<QsrLaunchData*>(handle);
    }
    CATCH_AND_LOG
}

std::int32_t getJvmlLauncherDataSize(JvmlLauncherHandle handle) {
    try {
        return launchDataOf(handle).initJvmlLauncherData(nullptr);
    }
    CATCH_AND_LOG
    return -1;
}

JvmlLauncherData* initJvmlLauncherData(JvmlLauncherHandle handle, void* block, std::int32_t blockSize) {
    try {
        const QsrLaunchData& data = launchDataOf(handle);
        if (!block || blockSize < data.initJvmlLauncherData(nullptr)) {
            return nullptr;
        }
        JvmlLauncherData* const buffer = static_cast<JvmlLauncherData*>(block);
        data.initJvmlLauncherData(buffer);
        return buffer;
    }
    CATCH_AND_LOG
    return nullptr;
}

const JvmlLauncherApiTable apiTable = {closeHandle, getJvmlLauncherDataSize, initJvmlLauncherData};

}  // namespace

const JvmlLauncherApiTable* jvmLauncherGetAPI() {
    return &apiTable;
}

void JvmlLauncherHandleCloser::operator()(JvmlLauncherHandle handle) const {
    apiTable.closeHandle(handle);
}

JvmlLauncherHandlePtr Jvm::makeLaunchData() const {
    return JvmlLauncherHandlePtr(new QsrLaunchData(*this));
}

JvmlLauncherData* makeJvmlLauncherData(const JvmlLauncherApiTable* api, JvmlLauncherHandle handle,
                                       std::int32_t* size) {
    if (!api || !handle) {
        return nullptr;
    }
    JvmlLauncherData* result = nullptr;
    const std::int32_t bytes = api->getJvmlLauncherDataSize(handle);
    if (bytes >= 1) {
        void* const block = std::malloc(static_cast<std::size_t>(bytes));
        if (!block) {
            printTrace("%s", std::strerror(errno));
        } else {
            result = api->initJvmlLauncherData(handle, block, bytes);
            if (!result) {
                std::free(block);
            } else if (size) {
                *size = bytes;
            }
        }
    }
    api->closeHandle(handle);
    return result;
}

JvmlLauncherDataPtr makeLaunchBuffer(const JvmlLauncherApiTable& api, JvmlLauncherHandle handle) {
    JvmlLauncherDataPtr data(makeJvmlLauncherData(&api, handle, nullptr));
    if (!data) {
        RAISE("Failed to prepare JVM launch data");
    }
    return data;
}

namespace {

bool isTraceEnabled() {
    const char* const debug = std::getenv("KIVO_DEBUG");
    return debug && std::strcmp(debug, "true") == 0;
}

// UTF-8 for a trace line; an empty text when the conversion cannot be made.
std::string traceText(const tstring& text) {
    try {
        return tstrings::toUtf8(text);
    } catch (...) {
        return std::string();
    }
}

// The buffer packs its strings without padding, so a wide string may start
// at any address; it is read unit by unit through memcpy.
tstring unalignedWideText(const wchar_t* text) {
    const char* at = reinterpret_cast<const char*>(text);
    tstring result;
    for (;;) {
        wchar_t unit;
        std::memcpy(&unit, at, sizeof(unit));
        if (unit == L'\0') {
            return result;
        }
        result.push_back(unit);
        at += sizeof(unit);
    }
}

template <class T>
T* slotAt(T* const* array, std::int32_t index) {
    T* value;
    std::memcpy(&value, reinterpret_cast<const char*>(array) + index * sizeof(T*), sizeof(T*));
    return value;
}

}  // namespace

void printTrace(const char* format, ...) {
    if (!isTraceEnabled()) {
        return;
    }
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

std::int32_t startJvmFromData(const JvmlLauncherData* data, void* entryPoint) {
    JvmlLauncherData header;
    std::memcpy(&header, data, sizeof(header));

    printTrace("qsr lib: [%s]", header.libPath);
    for (std::int32_t i = 0; i < header.argCount; ++i) {
        printTrace("qsr arg[%d]: [%s]", i, slotAt(header.argVector, i));
    }
    if (isTraceEnabled()) {
        for (std::int32_t i = 0; i < header.envCount; ++i) {
            printTrace("env var[%d]: %s=[%s]", i, traceText(unalignedWideText(slotAt(header.envNames, i))).c_str(),
                       traceText(unalignedWideText(slotAt(header.envValues, i))).c_str());
        }
    }
    for (std::int32_t i = 0; i < header.envCount; ++i) {
        try {
            SysInfo::setEnvVariable(unalignedWideText(slotAt(header.envNames, i)),
                                    unalignedWideText(slotAt(header.envValues, i)));
        } catch (const std::exception&) {
            printTrace("SetEnvironmentVariable(%d) failed", i);
        }
    }

    const QsrLaunchFunc launch = reinterpret_cast<QsrLaunchFunc>(entryPoint);
    return launch(header.argCount, header.argVector, 0, nullptr, 0, nullptr, "", "", "java", "java", 0, 0, 0, 0);
}

void Jvm::launch() const {
    JvmlLauncherDataPtr data = makeLaunchBuffer(*jvmLauncherGetAPI(), makeLaunchData().release());

    TRACE_MSG("JVM library: \"" << libraryPath << "\"");

    std::int32_t result;
    {
        const DllFunction<void*> entryPoint(Dll(tstrings::Builder() << libraryPath),
                                            tstrings::Builder() << "QSR_Launch");
        result = startJvmFromData(data.get(), entryPoint);
    }
    data.reset();

    if (result != 0) {
        RAISE("Failed to launch JVM");
    }
}
