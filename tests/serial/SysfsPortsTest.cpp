// The ports a Linux machine has, found and described from a tree laid out as sysfs and udev lay
// out theirs (never from this machine's own ports): a PC's four 8250 ports with one UART
// present, three USB adapters that udev named in /dev/serial/by-id, a CDC device, and two
// adapters without such a name, one of which reports hostile texts.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "serial/PortName.h"
#include "serial/SysfsPorts_linux.h"

namespace norvane {
namespace {

namespace fs = std::filesystem;

class SysfsTree : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::path(::testing::TempDir()) / ("norvane-sysfs-" + std::to_string(getpid()));
        fs::remove_all(root);
        for (int n = 1; n <= 12; ++n) {
            unsetenv(("NORVANE_COM" + std::to_string(n)).c_str());
        }
        // Virtual consoles and the pseudo-terminal master have no device.
        for (const char* name : {"tty0", "tty1", "console", "ptmx"}) {
            Write("sys/class/tty/" + std::string(name) + "/dev", "4:0\n");
            Write("dev/" + std::string(name), "");
        }
        // The 8250 driver's four ports; only ttyS0 has its UART (16550A, type 4).
        for (int n = 0; n < 4; ++n) {
            const std::string name = "ttyS" + std::to_string(n);
            Link("sys/class/tty/" + name + "/device", "sys/devices/platform/serial8250");
            Write("sys/class/tty/" + name + "/type", n == 0 ? "4\n" : "0\n");
            Write("dev/" + name, "");
        }
        Adapter("ttyUSB0", "1-1", "FTDI", "FT232R USB UART", "A12345\n");
        Adapter("ttyUSB1", "1-2", "Prolific Technology Inc.", "USB-Serial Controller", "");
        Adapter("ttyUSB2", "1-3", "\x1b[31mEvil\x1b[0m", std::string(100, 'P'), "12\n34\n");
        Adapter("ttyUSB10", "1-4", "", "", "");
        // A CDC device: its tty's device is the USB interface itself.
        Write("sys/devices/usb1/1-5/idVendor", "2341\n");
        Write("sys/devices/usb1/1-5/manufacturer", "Arduino\n");
        Write("sys/devices/usb1/1-5/product", "Arduino Uno\n");
        Write("sys/devices/usb1/1-5/serial", "8573531\n");
        Link("sys/class/tty/ttyACM0/device", "sys/devices/usb1/1-5/1-5:1.0");
        Write("dev/ttyACM0", "");
        ById("usb-FTDI_FT232R_USB_UART_A12345-if00-port0", "ttyUSB0");
        ById("usb-Prolific_Technology_Inc._USB-Serial_Controller-if00-port0", "ttyUSB1");
        ById("usb-Arduino_Arduino_Uno_8573531-if00", "ttyACM0");
    }
    void TearDown() override { fs::remove_all(root); }

    void Write(const std::string& file, const std::string& text) {
        fs::create_directories((root / file).parent_path());
        std::ofstream(root / file, std::ios::binary) << text;
    }
    // A relative link, as sysfs and udev make them, so that it leads into the tree.
    void Link(const std::string& from, const std::string& to) {
        fs::create_directories(root / to);
        fs::create_directories((root / from).parent_path());
        fs::create_symlink(fs::relative(root / to, (root / from).parent_path()), root / from);
    }
    // usb-serial's port below the adapter's interface, below the USB device with its texts.
    void Adapter(const std::string& tty, const std::string& usb, const std::string& manufacturer,
                 const std::string& product, const std::string& serial) {
        const std::string device = "sys/devices/usb1/" + usb;
        Write(device + "/idVendor", "0403\n");
        Write(device + "/idProduct", "6001\n");
        if (!manufacturer.empty()) {
            Write(device + "/manufacturer", manufacturer + "\n");
        }
        if (!product.empty()) {
            Write(device + "/product", product + "\n");
        }
        if (!serial.empty()) {
            Write(device + "/serial", serial);
        }
        Link("sys/class/tty/" + tty + "/device", device + "/" + usb + ":1.0/" + tty);
        Write("dev/" + tty, "");
    }
    void ById(const std::string& name, const std::string& tty) {
        fs::create_directories(root / "dev/serial/by-id");
        fs::create_symlink("../../" + tty, root / "dev/serial/by-id" / name);
    }

    fs::path root;
};

const std::string kFtdi = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A12345-if00-port0";
const std::string kArduino = "/dev/serial/by-id/usb-Arduino_Arduino_Uno_8573531-if00";
const std::string kProlific =
    "/dev/serial/by-id/usb-Prolific_Technology_Inc._USB-Serial_Controller-if00-port0";

// Built-in UARTs first, absent ones left out; then adapters by their by-id names, whatever
// order the kernel numbered them in; then the rest by name, numbers by value.
TEST_F(SysfsTree, PortsWithHardwareInAStableOrder) {
    const std::vector<std::string> expected = {"/dev/ttyS0", kArduino,       kFtdi,
                                               kProlific,    "/dev/ttyUSB2", "/dev/ttyUSB10"};
    EXPECT_EQ(posix::ListSerialPorts(root), expected);
}

TEST_F(SysfsTree, ComNumbersFollowTheListEachVariableOverridingItsOwn) {
    const std::string tree = root.string();
    EXPECT_EQ(ResolvePortPath("COM1", tree), "/dev/ttyS0");
    EXPECT_EQ(ResolvePortPath("COM3", tree), kFtdi);
    EXPECT_EQ(ResolvePortPath("COM6", tree), "/dev/ttyUSB10");
    EXPECT_EQ(ResolvePortPath("COM7", tree), std::nullopt);
    EXPECT_EQ(ResolvePortPath("/dev/ttyUSB3", tree), "/dev/ttyUSB3");
    EXPECT_EQ(ResolvePortPath("com1", tree), "com1");

    setenv("NORVANE_COM2", "", 1);
    setenv("NORVANE_COM1", "/dev/ttyUSB0", 1);
    setenv("NORVANE_COM12", "/dev/pts/7", 1);
    EXPECT_EQ(ResolvePortPath("COM1", tree), "/dev/ttyUSB0");
    EXPECT_EQ(ResolvePortPath("COM2", tree), std::nullopt);
    EXPECT_EQ(ResolvePortPath("COM12", tree), "/dev/pts/7");
    // The FTDI adapter is COM1's now: not searched a second time as COM3.
    EXPECT_EQ(ResolvePortPath("COM3", tree), std::nullopt);
    EXPECT_EQ(ResolvePortPath("COM4", tree), kProlific);
}

TEST_F(SysfsTree, EachPortSaysWhatItIsItsTextsMadeVisible) {
    EXPECT_EQ(posix::DescribeSerialPort("/dev/ttyS0", root), "16550A");
    EXPECT_EQ(posix::DescribeSerialPort(kFtdi, root), "FTDI FT232R USB UART, serial A12345");
    EXPECT_EQ(posix::DescribeSerialPort("/dev/ttyUSB0", root),
              "FTDI FT232R USB UART, serial A12345");
    EXPECT_EQ(posix::DescribeSerialPort(kProlific, root),
              "Prolific Technology Inc. USB-Serial Controller");
    EXPECT_EQ(posix::DescribeSerialPort(kArduino, root), "Arduino Uno, serial 8573531");
    EXPECT_EQ(posix::DescribeSerialPort("/dev/ttyUSB2", root),
              "\\x1b[31mEvil\\x1b[0m " + std::string(64, 'P') + "..., serial 12\\x0a34");
    EXPECT_EQ(posix::DescribeSerialPort("/dev/ttyUSB10", root), "USB 0403:6001");
    for (const char* nothing : {"/dev/ttyS1", "/dev/pts/3", "/dev/tty1", "/dev/missing", ""}) {
        EXPECT_EQ(posix::DescribeSerialPort(nothing, root), "") << nothing;
    }
}

}  // namespace
}  // namespace norvane
