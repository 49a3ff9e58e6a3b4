#include "platform/win32/document_opener.h"

#include <shellapi.h>

#include "platform/win32/com_apartment.h"

namespace velkora::win32 {
namespace {

const wchar_t* nullIfEmpty(const std::wstring& text) {
    return text.empty() ? nullptr : text.c_str();
}

} // namespace

void ShellDocumentOpener::openDocument(const std::wstring& operation, const std::wstring& file,
                                       const std::wstring& parameters,
                                       const std::wstring& directory, int showCommand) {
    // Shell extensions that handle the open are COM objects; DDE is not wanted.
    ComApartment com(COINIT_DISABLE_OLE1DDE);
    SetLastError(ERROR_SUCCESS);
    ShellExecuteW(owner_, nullIfEmpty(operation), file.c_str(), nullIfEmpty(parameters),
                  nullIfEmpty(directory), showCommand);
    lastError_ = GetLastError();
}

} // namespace velkora::win32
