#include "platform/win32/win32_platform.h"

#include "platform/win32/runtime/error_box.h"
#include "platform/win32/runtime/process_end.h"
#include "platform/win32/runtime/program_paths.h"
#include "platform/win32/shell/document_opener.h"
#include "platform/win32/shell/message_box.h"
#include "platform/win32/system_services.h"

namespace velkora::win32 {

struct Win32Platform::Parts {
    Win32SystemServices system;
    SystemMessageBox messages;
    ShellDocumentOpener documents;
    ModuleProgramFolder folder;
    ProcessProgramEnd end;
    MessageBoxErrorReport errors{messages, end};
    Platform bundle{system.services(), messages, documents, folder, end, errors};
};

Win32Platform::Win32Platform() : parts_(std::make_unique<Parts>()) {}

Win32Platform::~Win32Platform() = default;

Platform& Win32Platform::platform() {
    return parts_->bundle;
}

void Win32Platform::setOwnerWindow(HWND owner) {
    parts_->messages.setOwnerWindow(owner);
    parts_->documents.setOwnerWindow(owner);
}

} // namespace velkora::win32
