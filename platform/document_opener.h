#pragma once

#include <string>

namespace velkora {

// Opens a document with its associated program (the shell's "open"). The result is
// ignored; the thread's last-error code is kept as the last external-call error.
class DocumentOpener {
public:
    virtual ~DocumentOpener() = default;
    virtual void openDocument(const std::wstring& operation, const std::wstring& file,
                              const std::wstring& parameters, const std::wstring& directory,
                              int showCommand) = 0;
    virtual unsigned long lastExternalError() const = 0;
};

} // namespace velkora
