#pragma once

#include <windows.h>

#include "platform/document_opener.h"

namespace velkora::win32 {

// Opens through the desktop's shell when the process is elevated (so that the handler
// runs with the user's ordinary rights), otherwise, or where there is no desktop shell,
// with ShellExecuteW. The result is not examined; the last-error code is kept.
class ShellDocumentOpener final : public DocumentOpener {
public:
    void openDocument(const std::wstring& operation, const std::wstring& file,
                      const std::wstring& parameters, const std::wstring& directory,
                      int showCommand) override;
    // ShellExecuteW from this process, whatever its rights.
    void openDirectly(const std::wstring& operation, const std::wstring& file,
                      const std::wstring& parameters, const std::wstring& directory,
                      int showCommand);
    unsigned long lastExternalError() const override { return lastError_; }
    void setOwnerWindow(HWND owner) { owner_ = owner; }

private:
    HWND owner_ = nullptr;
    unsigned long lastError_ = 0;
};

} // namespace velkora::win32
