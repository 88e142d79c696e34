// Starts one child process, optionally suspended and inside a job object,
// and waits for its exit code.
#pragma once

#include <windows.h>

#include "OwnedResource.h"
#include "tstrings.h"

class Executor {
public:
    explicit Executor(const tstring& appPath) : appPath(appPath) {}

    Executor& setVisible(bool v) { return set(visible, v); }
    Executor& setSuspended(bool v) { return set(suspended, v); }
    Executor& setInheritHandles(bool v) { return set(inheritHandles, v); }
    // The job is not owned; it must stay open until startProcess() returns.
    Executor& setJob(HANDLE v) { return set(job, v); }

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
    template <class T>
    Executor& set(T& field, T value) {
        field = value;
        return *this;
    }

    bool visible = false;
    bool inheritHandles = false;
    bool suspended = false;
    HANDLE job = nullptr;
    tstring_array argList;
    tstring appPath;
};
