// Tests of the function names that source locations and log records show.
#include <gtest/gtest.h>

#include <string>

#include "Compiler.h"

std::string freeFunction() { return KIVO_FUNCTION; }

namespace outer::inner {
std::string namespacedFunction(int, const char*) { return KIVO_FUNCTION; }
}  // namespace outer::inner

namespace {
std::string unnamedNamespaceFunction() { return KIVO_FUNCTION; }
}  // namespace

namespace Outer {
namespace {
std::string nestedUnnamedFunction() { return KIVO_FUNCTION; }
}  // namespace
}  // namespace Outer

class Widget {
public:
    explicit Widget(std::string* names) : names(names) { names[0] = KIVO_FUNCTION; }
    ~Widget() { names[1] = KIVO_FUNCTION; }
    std::string method() const { return KIVO_FUNCTION; }
    static std::string create() { return KIVO_FUNCTION; }

private:
    std::string* names;
};

template <class T>
class DllFunction {
public:
    explicit DllFunction(std::string& name) : name(&name) {}
    operator T() const {
        *name = KIVO_FUNCTION;
        return T();
    }
    std::string get(void (*)(int)) const { return KIVO_FUNCTION; }

private:
    std::string* name;
};

namespace {

struct NameCase {
    const char* where;
    std::string actual;
    std::string expected;
};

std::vector<NameCase> nameCases() {
    std::string widgetNames[2];
    std::string method;
    {
        Widget widget(widgetNames);
        method = widget.method();
    }
    std::string conversion;
    void* converted = DllFunction<void*>(conversion);
    (void)converted;
    return {
        {"free function", freeFunction(), "freeFunction"},
        {"namespaced function", outer::inner::namespacedFunction(0, ""), "outer::inner::namespacedFunction"},
        {"unnamed namespace", unnamedNamespaceFunction(), "`anonymous-namespace'::unnamedNamespaceFunction"},
        {"nested unnamed namespace", Outer::nestedUnnamedFunction(),
         "Outer::`anonymous-namespace'::nestedUnnamedFunction"},
        {"constructor", widgetNames[0], "Widget::Widget"},
        {"destructor", widgetNames[1], "Widget::~Widget"},
        {"member", method, "Widget::method"},
        {"static member", Widget::create(), "Widget::create"},
        {"conversion operator", conversion, "DllFunction<void *>::operator void *"},
        {"function pointer parameter", DllFunction<int>(conversion).get(nullptr), "DllFunction<int>::get"},
    };
}

TEST(CompilerTest, FunctionNamesAreQualifiedWithoutSignature) {
    for (const NameCase& c : nameCases()) {
        EXPECT_EQ(c.expected, c.actual) << c.where;
    }
}

TEST(CompilerTest, WideFunctionNameMatchesNarrowOne) {
    const std::wstring wide = KIVO_WFUNCTION;
    const std::string narrow = KIVO_FUNCTION;
    EXPECT_EQ(std::wstring(narrow.begin(), narrow.end()), wide);
}

}  // namespace
