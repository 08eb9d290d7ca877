// Windows: a handle with only FILE_APPEND_DATA writes every block at the end, even with other
// writers; FlushFileBuffers makes it durable. The path is UTF-8, as the command line gave it.
#include <string>

#include "app/console/AppendFile.h"
#include "platform/Win32.h"

namespace norvane {
namespace {

std::string SystemText(DWORD error) {
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, text, sizeof text, nullptr);
    std::string out(text, length);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.')) {
        out.pop_back();
    }
    return out.empty() ? "error " + std::to_string(error) : out;
}

std::wstring Wide(const std::string& text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(length > 0 ? length : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), length);
    wide.resize(wide.size() - 1);
    return wide;
}

}  // namespace

AppendFile::~AppendFile() {
    if (handle_ != nullptr) {
        CloseHandle(handle_);
    }
}

std::optional<std::string> AppendFile::Open(const std::string& path) {
    const HANDLE file =
        CreateFileW(Wide(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return SystemText(GetLastError());
    }
    handle_ = file;
    return std::nullopt;
}

bool AppendFile::IsOpen() const {
    return handle_ != nullptr;
}

std::optional<std::string> AppendFile::Append(std::string_view line) {
    DWORD written = 0;
    if (!WriteFile(handle_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) {
        return SystemText(GetLastError());
    }
    if (written != line.size()) {
        return SystemText(ERROR_DISK_FULL);
    }
    if (!FlushFileBuffers(handle_)) {
        return SystemText(GetLastError());
    }
    return std::nullopt;
}

std::string HostName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = sizeof name;
    return GetComputerNameA(name, &length) ? std::string(name, length) : std::string();
}

}  // namespace norvane
