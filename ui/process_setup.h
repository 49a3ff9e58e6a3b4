#pragma once

#include <windows.h>
#include <ole2.h>

#include "platform/win32/process_setup.h"
#include "ui/win32_handles.h"

namespace velkora::ui {

using win32::restrictDllSearch;
using win32::terminateOnHeapCorruption;

// Loads the common controls (version 6, through the manifest) and registers the classes the
// window uses. Not a static import: comctl32 is not one of Windows' known DLLs.
UniqueLibrary loadCommonControls();

// OLE for the lifetime of the object (the banner is decoded through it).
class OleSession {
public:
    OleSession() : initialized_(SUCCEEDED(OleInitialize(nullptr))) {}
    ~OleSession() {
        if (initialized_) {
            OleUninitialize();
        }
    }
    OleSession(const OleSession&) = delete;
    OleSession& operator=(const OleSession&) = delete;

private:
    bool initialized_;
};

} // namespace velkora::ui
