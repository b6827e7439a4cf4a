#pragma once
#include <windows.h>

// Owns a kernel handle (a process, a job, a mutex) that is null when there is none.
struct KernelHandle {
    HANDLE value = nullptr;
    KernelHandle() = default;
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;
    ~KernelHandle() {
        if (value) CloseHandle(value);
    }
};
