#include "serial/OpenFailure_posix.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "serial/SameDevice_posix.h"
#include "strings/VisibleText.h"

namespace norvane::posix {

OpenFailureKind KindOfOpenError(int error) {
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case EIO:  // a serial port's node without its hardware (/dev/ttyS3 on most PCs)
            return OpenFailureKind::NotPresent;
        case ENOTTY:
        case EISDIR:
            return OpenFailureKind::NotSerialPort;
        case EACCES:
        case EPERM:
            return OpenFailureKind::PermissionDenied;
        case EBUSY:
            return OpenFailureKind::InUse;
        default:
            return OpenFailureKind::Other;
    }
}

OpenFailure DescribeOpenFailure(int error, const std::string& path) {
    OpenFailure failure;
    failure.kind = KindOfOpenError(error);
    failure.systemText = std::strerror(error);
    if (failure.kind == OpenFailureKind::InUse) {
        failure.holder = FindPortHolder(path).value_or(PortHolder{});
    }
    return failure;
}

namespace {

// A process name (comm) holds at most 15 bytes.
constexpr size_t kShownNameLength = 15;

bool IsNumber(const char* name) {
    if (*name == '\0') {
        return false;
    }
    for (; *name != '\0'; ++name) {
        if (*name < '0' || *name > '9') {
            return false;
        }
    }
    return true;
}

// True when one of the process's descriptors leads to the character device `device`.
bool HoldsDevice(const std::string& processDir, const struct stat& device) {
    const std::string fdDir = processDir + "/fd";
    DIR* fds = opendir(fdDir.c_str());
    if (fds == nullptr) {
        return false;  // another user's process, or gone meanwhile
    }
    bool holds = false;
    while (const dirent* entry = readdir(fds)) {
        struct stat target {};
        if (IsNumber(entry->d_name) && stat((fdDir + "/" + entry->d_name).c_str(), &target) == 0 &&
            SameDevice(target, device)) {
            holds = true;
            break;
        }
    }
    closedir(fds);
    return holds;
}

}  // namespace

std::optional<PortHolder> FindPortHolder(const std::string& path) {
    struct stat port {};
    if (stat(path.c_str(), &port) != 0 || !S_ISCHR(port.st_mode)) {
        return std::nullopt;
    }
    DIR* proc = opendir("/proc");
    if (proc == nullptr) {
        return std::nullopt;
    }
    const int self = static_cast<int>(getpid());
    std::optional<PortHolder> found;
    while (const dirent* entry = readdir(proc)) {
        if (!IsNumber(entry->d_name) || std::atoi(entry->d_name) == self) {
            continue;
        }
        const std::string processDir = std::string("/proc/") + entry->d_name;
        if (!HoldsDevice(processDir, port)) {
            continue;
        }
        std::string name;
        std::getline(std::ifstream(processDir + "/comm"), name);
        found = PortHolder{VisibleText(name, kShownNameLength), std::atoi(entry->d_name),
                           KnownHolderNamed(name)};
        break;
    }
    closedir(proc);
    return found;
}

KnownHolder KnownHolderNamed(const std::string& program) {
    if (program == "norvane" || program == "norvane-console") {
        return KnownHolder::Norvane;
    }
    if (program == "ModemManager") {
        return KnownHolder::ModemManager;
    }
    return program == "brltty" ? KnownHolder::Brltty : KnownHolder::Other;
}

}  // namespace norvane::posix
