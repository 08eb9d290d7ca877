#include "serial/SysfsPorts_linux.h"

#include <linux/serial.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <map>

#include "serial/CommPort.h"
#include "strings/VisibleText.h"

namespace norvane::posix {

namespace fs = std::filesystem;

namespace {

// USB string descriptors hold at most 126 characters; a label stays readable with less.
constexpr size_t kShownLength = 64;
// From a tty's device (a USB interface, or usb-serial's port below it) up to the USB device.
constexpr int kLevelsToUsbDevice = 3;

// Calls `visit` with every entry of `folder`; nothing for a folder that cannot be read, and no
// more after an entry that cannot.
template <typename Visit>
void ForEachEntry(const fs::path& folder, Visit visit) {
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        visit(*entry);
    }
}

// `absolute` ("/dev/ttyS0") inside the tree at `root`.
fs::path Under(const fs::path& root, const std::string& absolute) {
    return root / fs::path(absolute).relative_path();
}

// A sysfs attribute without its final line feed; empty when it cannot be read.
std::string ReadAttribute(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string text(4096, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

int NumberAttribute(const fs::path& file, int otherwise) {
    const std::string text = ReadAttribute(file);
    int value = otherwise;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? value : otherwise;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Text order, with runs of digits compared by their value.
bool NameBefore(const std::string& a, const std::string& b) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            size_t endA = i;
            size_t endB = j;
            while (endA < a.size() && IsDigit(a[endA])) {
                ++endA;
            }
            while (endB < b.size() && IsDigit(b[endB])) {
                ++endB;
            }
            const std::string_view digitsA = std::string_view(a).substr(i, endA - i);
            const std::string_view digitsB = std::string_view(b).substr(j, endB - j);
            const size_t zerosA = std::min(digitsA.find_first_not_of('0'), digitsA.size());
            const size_t zerosB = std::min(digitsB.find_first_not_of('0'), digitsB.size());
            const std::string_view valueA = digitsA.substr(zerosA);
            const std::string_view valueB = digitsB.substr(zerosB);
            if (valueA.size() != valueB.size()) {
                return valueA.size() < valueB.size();
            }
            if (valueA != valueB) {
                return valueA < valueB;
            }
            i = endA;
            j = endB;
        } else if (a[i] != b[j]) {
            return a[i] < b[j];
        } else {
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

bool IsBuiltInUart(const std::string& name) {
    return name.size() > 4 && name.compare(0, 4, "ttyS") == 0 &&
           std::all_of(name.begin() + 4, name.end(), IsDigit);
}

// udev names its links with plain characters only; any other link is not one of its own.
bool IsPlainName(const std::string& name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7F;
    });
}

// The kernel's name of each port that has a /dev/serial/by-id link, with that link's path
// (the first in name order where there are several).
std::map<std::string, std::string> ByIdPaths(const fs::path& root) {
    std::map<std::string, std::string> paths;
    ForEachEntry(Under(root, "/dev/serial/by-id"), [&](const fs::directory_entry& link) {
        const std::string name = link.path().filename().string();
        std::error_code error;
        const fs::path target = fs::read_symlink(link.path(), error);
        if (error || !IsPlainName(name)) {
            return;
        }
        const std::string path = "/dev/serial/by-id/" + name;
        auto [entry, added] = paths.emplace(target.filename().string(), path);
        if (!added && NameBefore(path, entry->second)) {
            entry->second = path;
        }
    });
    return paths;
}

// "16550A" for the UART types of <linux/serial.h>; empty for an absent UART.
std::string UartName(int type) {
    switch (type) {
        case PORT_8250:
            return "8250";
        case PORT_16450:
            return "16450";
        case PORT_16550:
            return "16550";
        case PORT_16550A:
            return "16550A";
        case PORT_CIRRUS:
            return "Cirrus";
        case PORT_16650:
            return "16650";
        case PORT_16650V2:
            return "16650V2";
        case PORT_16750:
            return "16750";
        case PORT_STARTECH:
            return "Startech";
        case PORT_16C950:
            return "16C950";
        case PORT_16654:
            return "16654";
        case PORT_16850:
            return "16850";
        case PORT_RSA:
            return "RSA";
        case PORT_UNKNOWN:
            return {};
        default:
            return "UART type " + std::to_string(type);
    }
}

// "<manufacturer> <product>, serial <serial>" of the USB device at `device`, each text made
// visible; the manufacturer is left out where the product starts with it already.
std::string UsbDescription(const fs::path& device) {
    const std::string manufacturer = ReadAttribute(device / "manufacturer");
    const std::string product = ReadAttribute(device / "product");
    const std::string serial = ReadAttribute(device / "serial");
    std::string text;
    if (product.empty() && manufacturer.empty()) {
        text = "USB " + VisibleText(ReadAttribute(device / "idVendor"), kShownLength) + ":" +
               VisibleText(ReadAttribute(device / "idProduct"), kShownLength);
    } else if (manufacturer.empty() || product.compare(0, manufacturer.size(), manufacturer) == 0) {
        text = VisibleText(product, kShownLength);
    } else {
        text = VisibleText(manufacturer, kShownLength);
        if (!product.empty()) {
            text += " " + VisibleText(product, kShownLength);
        }
    }
    if (!serial.empty()) {
        text += ", serial " + VisibleText(serial, kShownLength);
    }
    return text;
}

// The kernel's name of the port at `devicePath` ("ttyUSB0" for it or for a link to it; a node
// in a folder of /dev has its '/' as '!' in sysfs).
std::string KernelName(const std::string& devicePath, const fs::path& root) {
    std::error_code error;
    const fs::path node = fs::canonical(Under(root, devicePath), error);
    if (error) {
        return fs::path(devicePath).filename().string();
    }
    const fs::path dev = fs::canonical(Under(root, "/dev"), error);
    const fs::path inDev = error ? fs::path() : node.lexically_relative(dev);
    if (inDev.empty() || *inDev.begin() == "..") {
        return node.filename().string();
    }
    std::string name = inDev.generic_string();
    std::replace(name.begin(), name.end(), '/', '!');
    return name;
}

}  // namespace

std::vector<std::string> ListSerialPorts(const fs::path& root) {
    struct Port {
        bool builtIn;
        std::string path;
    };
    std::vector<Port> ports;
    const std::map<std::string, std::string> byId = ByIdPaths(root);
    ForEachEntry(Under(root, "/sys/class/tty"), [&](const fs::directory_entry& tty) {
        const std::string name = tty.path().filename().string();
        std::error_code error;
        // Virtual consoles and pseudo-terminals have no device; an absent UART has type 0.
        if (!fs::exists(tty.path() / "device", error) ||
            NumberAttribute(tty.path() / "type", -1) == PORT_UNKNOWN) {
            return;
        }
        std::string node = name;
        std::replace(node.begin(), node.end(), '!', '/');
        if (!fs::exists(Under(root, "/dev/" + node), error)) {
            return;
        }
        const auto link = byId.find(name);
        ports.push_back({IsBuiltInUart(name), link != byId.end() ? link->second : "/dev/" + node});
    });
    std::sort(ports.begin(), ports.end(), [](const Port& a, const Port& b) {
        return a.builtIn != b.builtIn ? a.builtIn : NameBefore(a.path, b.path);
    });
    std::vector<std::string> paths;
    for (Port& port : ports) {
        paths.push_back(std::move(port.path));
    }
    return paths;
}

std::string DescribeSerialPort(const std::string& devicePath, const fs::path& root) {
    if (devicePath.empty()) {
        return {};
    }
    const std::string name = KernelName(devicePath, root);
    const fs::path tty = Under(root, "/sys/class/tty") / name;
    std::error_code error;
    if (name.empty() || name == "." || name == ".." || !fs::exists(tty / "device", error)) {
        return {};
    }
    if (fs::exists(tty / "type", error)) {
        return UartName(NumberAttribute(tty / "type", PORT_UNKNOWN));
    }
    // A USB port's device is its interface, or usb-serial's port below the interface; the USB
    // device with its texts is further up.
    fs::path folder = fs::canonical(tty / "device", error);
    for (int level = 0; !error && level <= kLevelsToUsbDevice; ++level) {
        if (fs::exists(folder / "idVendor", error)) {
            return UsbDescription(folder);
        }
        folder = folder.parent_path();
    }
    return {};
}

bool SamePortPath(const std::string& a, const std::string& b, const fs::path& root) {
    std::error_code errorA;
    std::error_code errorB;
    const fs::path realA = fs::weakly_canonical(Under(root, a), errorA);
    const fs::path realB = fs::weakly_canonical(Under(root, b), errorB);
    return !errorA && !errorB && realA == realB;
}

}  // namespace norvane::posix

namespace norvane {

// Described from the machine's own sysfs, whatever the port name led to.
std::string CommPort::PortDescription() const {
    return posix::DescribeSerialPort(devicePath, "/");
}

}  // namespace norvane
