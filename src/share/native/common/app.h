// The launch wrapper: runs the launcher's payload and turns every failure
// into exit code 1 and one line on standard error.
#pragma once

#include <new>
#include <string>

class LogAppender;

namespace app {

typedef void (*LaunchFunc)();

int launch(const std::nothrow_t&, LaunchFunc func, LogAppender* lastErrorLogAppender = nullptr);
bool isDebugEnabled();
std::string lastErrorText();

}  // namespace app
