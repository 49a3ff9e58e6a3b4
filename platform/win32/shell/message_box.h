#pragma once

#include <windows.h>

#include "platform/message_box.h"

namespace velkora::win32 {

// MessageBoxW, with the standard buttons renamed to their Simplified Chinese captions
// (是, 否, 确定, 取消) whatever the system's display language.
class SystemMessageBox final : public MessageBoxService {
public:
    int messageBox(const std::wstring& prompt, int style,
                   const std::optional<std::wstring>& title) override;
    void setOwnerWindow(HWND owner) { owner_ = owner; }

private:
    HWND owner_ = nullptr;
};

} // namespace velkora::win32
