#include "cli/console.h"

#include <algorithm>

#include "logic/utf8.h"

namespace velkora::cli {

void writeTo(DWORD standardHandle, const std::wstring& text) {
    const HANDLE handle = GetStdHandle(standardHandle);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || text.empty()) {
        return;
    }
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        // In pieces: old consoles refuse one very large write.
        constexpr std::size_t piece = 8192;
        for (std::size_t at = 0; at < text.size(); at += piece) {
            DWORD written = 0;
            const auto length = static_cast<DWORD>(std::min(piece, text.size() - at));
            if (!WriteConsoleW(handle, text.data() + at, length, &written, nullptr)) {
                return;
            }
        }
        return;
    }
    const std::string bytes = toUtf8(text);
    std::size_t at = 0;
    while (at < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data() + at, static_cast<DWORD>(bytes.size() - at), &written,
                       nullptr) ||
            written == 0) {
            return;
        }
        at += written;
    }
}

} // namespace velkora::cli
