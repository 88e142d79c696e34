// Starts one child process, optionally suspended and inside a job object,
// and waits for its exit code.
#pragma once

#include <windows.h>

#include "OwnedResource.h"
#include "tstrings.h"

class Executor {
public:
    explicit Executor(const tstring& appPath) : appPath(appPath) {}

    Executor& setVisible(bool v) {
        visible = v;
        return *this;
    }
    Executor& setSuspended(bool v) {
        suspended = v;
        return *this;
    }
    Executor& setInheritHandles(bool v) {
        inheritHandles = v;
        return *this;
    }
    // The job is not owned; it must stay open until startProcess() returns.
    Executor& setJob(HANDLE v) {
        job = v;
        return *this;
    }

    // The child's arguments, without the program.
    tstring_array& args() { return argList; }
    const tstring_array& args() const { return argList; }

    // The program path followed by the arguments, each quoted so that the
    // child's CommandLineToArgvW gives back exactly these strings.
    tstring commandLine() const;

    // Starts the child and returns its process handle. `threadHandle`, when
    // given, receives the handle of the child's main thread; otherwise that
    // handle is closed.
    OwnedHandle startProcess(OwnedHandle* threadHandle = nullptr) const;

    // Starts the child, resumes it when suspended, waits for its end and
    // returns its 32-bit exit code bit for bit.
    int execAndWaitForExit() const;

private:
    bool visible = false;
    bool inheritHandles = false;
    bool suspended = false;
    HANDLE job = nullptr;
    tstring_array argList;
    tstring appPath;
};
