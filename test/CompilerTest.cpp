// Tests of the function names that source locations and log records show.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

template <class T, int N>
struct Grid {
    std::string fill(T (&)[N]) { return KIVO_FUNCTION; }
};

const char* pointerResult(std::string& name) {
    name = KIVO_FUNCTION;
    return "";
}

template <class T>
T* templatePointerResult(std::string& name) {
    name = KIVO_FUNCTION;
    return nullptr;
}

struct Comparable {
    std::string operator<(const Comparable&) const { return KIVO_FUNCTION; }
    std::string operator()(int) const { return KIVO_FUNCTION; }
    explicit operator const char*() const {
        *conversionName = KIVO_FUNCTION;
        return "";
    }
    std::string* conversionName = nullptr;
};

namespace {

struct Local {};

template <class T>
struct UnnamedTemplate {
    std::string get() const { return KIVO_FUNCTION; }
};

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
    std::string localConversion;
    const Local local = DllFunction<Local>(localConversion);
    (void)local;
    int cells[3] = {};
    std::string pointer;
    pointerResult(pointer);
    std::string templatePointer;
    templatePointerResult<const char>(templatePointer);
    std::string pointerConversion;
    Comparable comparable;
    comparable.conversionName = &pointerConversion;
    const char* text = static_cast<const char*>(comparable);
    (void)text;
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
        {"unnamed namespace binding", localConversion,
         "DllFunction<`anonymous-namespace'::Local>::operator `anonymous-namespace'::Local"},
        {"non-type binding", Grid<int, 3>().fill(cells), "Grid<int, 3>::fill"},
        {"integer type binding", DllFunction<unsigned long>(conversion).get(nullptr),
         "DllFunction<unsigned long>::get"},
        {"conversion to pointer", pointerConversion, "Comparable::operator const char *"},
        {"pointer result", pointer, "pointerResult"},
        {"template pointer result", templatePointer, "templatePointerResult"},
        {"comparison operator", Comparable() < Comparable(), "Comparable::operator<"},
        {"call operator", Comparable()(1), "Comparable::operator()"},
        {"template in unnamed namespace", UnnamedTemplate<int>().get(),
         "`anonymous-namespace'::UnnamedTemplate<int>::get"},
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
