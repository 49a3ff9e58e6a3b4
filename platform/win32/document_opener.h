#pragma once

#include <windows.h>

#include "platform/document_opener.h"

namespace velkora::win32 {

// ShellExecuteW; the result is not examined, the thread's last-error code is kept.
class ShellDocumentOpener final : public DocumentOpener {
public:
    void openDocument(const std::wstring& operation, const std::wstring& file,
                      const std::wstring& parameters, const std::wstring& directory,
                      int showCommand) override;
    unsigned long lastExternalError() const override { return lastError_; }
    void setOwnerWindow(HWND owner) { owner_ = owner; }

private:
    HWND owner_ = nullptr;
    unsigned long lastError_ = 0;
};

} // namespace velkora::win32
