/* The demo runtime's launcher-interface library: instead of starting a Java
   virtual machine, QSR_Launch describes the start it was asked for. */
#include <windows.h>

#include <string.h>

typedef struct {
    char* bytes;
    size_t size;
    size_t capacity;
} Text;

static void appendBytes(Text* text, const char* bytes, size_t count) {
    if (text->size + count > text->capacity) {
        size_t capacity = (text->size + count) * 2 + 256;
        char* grown = text->bytes ? (char*)HeapReAlloc(GetProcessHeap(), 0, text->bytes, capacity)
                                  : (char*)HeapAlloc(GetProcessHeap(), 0, capacity);
        if (grown == NULL) {
            return;
        }
        text->bytes = grown;
        text->capacity = capacity;
    }
    memcpy(text->bytes + text->size, bytes, count);
    text->size += count;
}

static void append(Text* text, const char* ascii) {
    appendBytes(text, ascii, strlen(ascii));
}

static void appendPadded(Text* text, const char* ascii, size_t width) {
    size_t length = strlen(ascii);
    append(text, ascii);
    while (length++ < width) {
        append(text, " ");
    }
}

static void appendNumber(Text* text, int value) {
    char digits[16];
    char* at = digits + sizeof(digits) - 1;
    unsigned int magnitude = value < 0 ? 0u - (unsigned int)value : (unsigned int)value;
    *at = '\0';
    do {
        *--at = (char)('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) {
        *--at = '-';
    }
    append(text, at);
}

/* The runtime's arguments come in the ANSI code page; the account is UTF-8. */
static void appendArgument(Text* text, const char* acp) {
    int wideLength = MultiByteToWideChar(CP_ACP, 0, acp, -1, NULL, 0);
    wchar_t* wide;
    char* utf8;
    int utf8Length;
    if (wideLength <= 1) {
        return;
    }
    wide = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)wideLength * sizeof(wchar_t));
    if (wide == NULL) {
        return;
    }
    MultiByteToWideChar(CP_ACP, 0, acp, -1, wide, wideLength);
    utf8Length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, NULL, 0, NULL, NULL);
    utf8 = utf8Length > 1 ? (char*)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)utf8Length) : NULL;
    if (utf8 != NULL) {
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, utf8Length, NULL, NULL);
        appendBytes(text, utf8, (size_t)utf8Length - 1);
        HeapFree(GetProcessHeap(), 0, utf8);
    }
    HeapFree(GetProcessHeap(), 0, wide);
}

static void writeLine(Text* text) {
    DWORD written = 0;
    append(text, "\r\n");
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text->bytes, (DWORD)text->size, &written, NULL);
    text->size = 0;
}

static int equals(const char* a, const char* b) {
    return strcmp(a, b) == 0;
}

static int startsWith(const char* text, const char* prefix) {
    return strncmp(text, prefix, strlen(prefix)) == 0;
}

/* One line of the account: index, what the argument is, the argument in
   brackets (so that blanks show). */
static void describe(Text* text, int index, const char* kind, const char* argument) {
    append(text, "  [");
    appendNumber(text, index);
    append(text, index < 10 ? "]  " : "] ");
    appendPadded(text, kind, 24);
    append(text, "[");
    appendArgument(text, argument);
    append(text, "]");
    writeLine(text);
}

/* The option takes the next argument as its value, described as `valueKind`. */
static int describeWithValue(Text* text, int argCount, char** argVector, int index, const char* kind,
                             const char* valueKind) {
    describe(text, index, kind, argVector[index]);
    if (index + 1 < argCount) {
        describe(text, index + 1, valueKind, argVector[index + 1]);
        return index + 2;
    }
    return index + 1;
}

/* What a runtime option that stands on its own is. */
static const char* optionKind(const char* argument) {
    if (startsWith(argument, "-splash:")) {
        return "splash screen";
    }
    if (startsWith(argument, "-Dkivo.app-path=")) {
        return "launcher path property";
    }
    if (startsWith(argument, "-D")) {
        return "system property";
    }
    return "Java option";
}

__declspec(dllexport) int QSR_Launch(int argCount, char** argVector, int reserved3, const char** reserved4,
                                     int reserved5, const char** reserved6, const char* reserved7,
                                     const char* reserved8, const char* reserved9, const char* reserved10,
                                     unsigned char reserved11, unsigned char reserved12, unsigned char reserved13,
                                     int reserved14) {
    Text text = {NULL, 0, 0};
    const char* mainEntry = NULL;
    int index = 1;
    int appArgCount;
    (void)reserved3, (void)reserved4, (void)reserved5, (void)reserved6, (void)reserved7, (void)reserved8;
    (void)reserved9, (void)reserved10, (void)reserved11, (void)reserved12, (void)reserved13, (void)reserved14;

    append(&text, "Demo runtime: asked to start Java with ");
    appendNumber(&text, argCount);
    append(&text, " arguments:");
    writeLine(&text);
    if (argCount > 0) {
        describe(&text, 0, "program", argVector[0]);
    }
    while (index < argCount && mainEntry == NULL) {
        const char* argument = argVector[index];
        if (equals(argument, "-classpath") || equals(argument, "-cp") || equals(argument, "--class-path")) {
            index = describeWithValue(&text, argCount, argVector, index, "class path option", "class path");
        } else if (equals(argument, "--module-path") || equals(argument, "-p")) {
            index = describeWithValue(&text, argCount, argVector, index, "module path option", "module path");
        } else if (equals(argument, "-m") || equals(argument, "--module")) {
            mainEntry = index + 1 < argCount ? argVector[index + 1] : "";
            index = describeWithValue(&text, argCount, argVector, index, "main module option", "main module");
        } else if (equals(argument, "-jar")) {
            mainEntry = index + 1 < argCount ? argVector[index + 1] : "";
            index = describeWithValue(&text, argCount, argVector, index, "main JAR option", "main JAR");
        } else if (argument[0] == '-') {
            describe(&text, index++, optionKind(argument), argument);
        } else {
            mainEntry = argument;
            describe(&text, index++, "main class", argument);
        }
    }
    appArgCount = argCount - index;
    for (; index < argCount; ++index) {
        describe(&text, index, "application argument", argVector[index]);
    }

    if (mainEntry == NULL) {
        append(&text, "Hello from the demo runtime: no main class, module or JAR was given.");
    } else {
        append(&text, "Hello from the demo application: ");
        appendArgument(&text, mainEntry);
        append(&text, " would now run with ");
        appendNumber(&text, appArgCount);
        append(&text, appArgCount == 1 ? " application argument." : " application arguments.");
    }
    writeLine(&text);
    if (text.bytes != NULL) {
        HeapFree(GetProcessHeap(), 0, text.bytes);
    }
    return 0;
}
