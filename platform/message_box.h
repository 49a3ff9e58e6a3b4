#pragma once

#include <optional>
#include <string>

namespace velkora {

namespace MessageBoxStyle {
constexpr int OkExclamation = 48;    // an OK button and the exclamation icon
constexpr int YesNoInformation = 68; // the buttons Yes and No and the information icon
constexpr int OkCritical = 16;       // the error report
// Yes and No, the exclamation icon, No as the default button: MB_YESNO | MB_ICONEXCLAMATION
// | MB_DEFBUTTON2, for a question where Enter must not do the risky thing.
constexpr int YesNoExclamationDefaultNo = 4 | 48 | 256;
} // namespace MessageBoxStyle

namespace MessageBoxReply {
constexpr int Ok = 1;
constexpr int Yes = 6;
constexpr int No = 7;
} // namespace MessageBoxReply

// The title every box bears when the caller gives none.
inline const std::wstring applicationTitle = L"Velkora工具";

class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    // Modal; returns the code of the button pressed. Yes/No read 是/否, OK reads 确定.
    virtual int messageBox(const std::wstring& prompt, int style,
                           const std::optional<std::wstring>& title) = 0;
};

} // namespace velkora
