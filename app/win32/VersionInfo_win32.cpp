// The program's own version information block, for the about box and the console's
// --version and log.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "app/AboutBox.h"
#include "app/win32/ProgrammerDlg_win32.h"
#include "platform/Win32.h"

namespace norvane {
namespace {

// The program's version information block, read from its own file.
class FileVersionInfo {
public:
    FileVersionInfo() {
        char path[1000] = {};
        if (GetModuleFileNameA(nullptr, path, sizeof path) == 0) {
            return;
        }
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
        if (size == 0) {
            return;
        }
        data_ = std::malloc(size);
        if (data_ != nullptr && !GetFileVersionInfoA(path, 0, size, data_)) {
            std::free(data_);
            data_ = nullptr;
        }
    }
    ~FileVersionInfo() { std::free(data_); }
    FileVersionInfo(const FileVersionInfo&) = delete;
    FileVersionInfo& operator=(const FileVersionInfo&) = delete;

    // A value of the first language and code page the block lists.
    std::optional<std::string> Query(const char* name) const {
        if (data_ == nullptr) {
            return std::nullopt;
        }
        WORD* translation = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(data_, "\\VarFileInfo\\Translation",
                            reinterpret_cast<void**>(&translation), &length) ||
            length < 2 * sizeof(WORD)) {
            return std::nullopt;
        }
        char path[80];
        std::snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\%s", translation[0],
                      translation[1], name);
        char* value = nullptr;
        if (!VerQueryValueA(data_, path, reinterpret_cast<void**>(&value), &length) ||
            value == nullptr) {
            return std::nullopt;
        }
        return std::string(value);
    }

private:
    void* data_ = nullptr;
};

}  // namespace

VersionInfo VersionInfoOfProgram() {
    const FileVersionInfo file;
    VersionInfo info;
    for (const char* name : {"ProductVersion", "PrivateBuild", "LegalCopyright"}) {
        if (const auto value = file.Query(name)) {
            info.Set(name, *value);
        }
    }
    return info;
}

}  // namespace norvane
