// CommPort on Win32: construction, opening, configuring and closing the line, the error box
// and the named event. Transfers are in Transfer_win32.cpp, the receiver in
// Receiver_win32.cpp.
//
// Choices that keep a port from being left half open or misreported:
// - a failed Open releases what it had taken (handle, events, hidden window) at once: a port
//   whose configuration fails is closed, not held with a line set up halfway, and `lastError`
//   names the call that failed;
// - Close returns false only when releasing the device itself failed: an error that an
//   earlier call of the thread left behind says nothing about this close;
// - `readOverlapped` gets its event in both modes: a Read in MODE_RECEIVER that the system
//   leaves pending must be waited for like any other before its buffer can be let go.
#include "serial/CommPort_win32.h"

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/Win32.h"
#include "serial/CommPort.h"
#include "serial/CommPortImpl_win32.h"
#include "serial/ErrorText.h"

namespace norvane {

const NativePortHandle INVALID_PORT_HANDLE = INVALID_HANDLE_VALUE;

namespace {

// Number of CommPort objects alive; names the next port's event.
std::atomic<int> instanceCount{0};

constexpr char kWindowClass[] = "NorvaneCommPortWindow";
constexpr char kWindowPrefix[] = "DummyCommunicationPortIconWindow_";

// The DCB flag bits a port clears: fOutxCtsFlow, fOutxDsrFlow, fDtrControl, fOutX, fInX,
// fRtsControl and fAbortOnError. No flow control, DTR and RTS held off, no abort on errors.
constexpr DWORD kDcbFlagMask = 0xFFFF8CC3u;

void ClearFlowControl(DCB* dcb) {
    // The bit-fields follow DCBlength and BaudRate as one 32-bit word.
    DWORD flags = 0;
    static_assert(offsetof(DCB, wReserved) - offsetof(DCB, BaudRate) == 2 * sizeof(DWORD));
    unsigned char* word = reinterpret_cast<unsigned char*>(&dcb->BaudRate) + sizeof(DWORD);
    std::memcpy(&flags, word, sizeof flags);
    flags &= kDcbFlagMask;
    std::memcpy(word, &flags, sizeof flags);
}

bool RegisterWindowClass() {
    static const bool registered = [] {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kWindowClass;
        return RegisterClassA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

HANDLE NewManualResetEvent() {
    return CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

void CloseOverlapped(OVERLAPPED* overlapped) {
    if (overlapped->hEvent != nullptr) {
        CloseHandle(overlapped->hEvent);
        *overlapped = OVERLAPPED{};
    }
}

// The system's text for an error code, with its closing line break; empty when it has none.
std::string SystemMessage(DWORD code) {
    char buffer[1024] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, buffer, sizeof buffer, nullptr);
    return std::string(buffer, length);
}

// What a failed CreateFile means to the user. A port opened without sharing that another
// program holds gives "access denied": on a COM port that means "in use".
OpenFailure DescribeOpenFailure(DWORD error) {
    OpenFailure failure;
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_DEV_NOT_EXIST:
            failure.kind = OpenFailureKind::NotPresent;
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
            failure.kind = OpenFailureKind::InUse;
            break;
        case ERROR_INVALID_FUNCTION:
        case ERROR_NOT_SUPPORTED:
        case ERROR_INVALID_NAME:
            failure.kind = OpenFailureKind::NotSerialPort;
            break;
        default:
            failure.kind = OpenFailureKind::Other;
            break;
    }
    failure.systemText = SystemMessage(error);
    while (!failure.systemText.empty() &&
           (failure.systemText.back() == '\n' || failure.systemText.back() == '\r')) {
        failure.systemText.pop_back();
    }
    return failure;
}

}  // namespace

std::string PortEventName(int instance) {
    char name[40];
    std::snprintf(name, sizeof name, "_CommPortEventName_%05X", static_cast<unsigned>(instance));
    return name;
}

std::string DeviceControlText(uint32_t baud, const char* frame) {
    char text[80];
    std::snprintf(text, sizeof text, "baud=%u parity=%c data=%c stop=%c",
                  static_cast<unsigned>(baud), frame[1], frame[0], frame[2]);
    return text;
}

void PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

CommPort::CommPort() : fileHandle(INVALID_PORT_HANDLE), impl(std::make_unique<Impl>()) {
    const int count = ++instanceCount;
    impl->eventName = PortEventName(count);
    // Names follow the live count, so a name can come back and two ports share one event.
    impl->namedEvent = CreateEventA(nullptr, TRUE, FALSE, impl->eventName.c_str());
}

CommPort::~CommPort() {
    Close();
    if (impl->hiddenWindow != nullptr) {
        DestroyWindow(impl->hiddenWindow);
    }
    if (impl->namedEvent != nullptr) {
        CloseHandle(impl->namedEvent);
    }
    --instanceCount;
}

bool CommPort::Impl::OpenDevice(CommPort& port, const char* name, uint32_t speed, int openMode) {
    Impl& impl = *port.impl;
    if (port.fileHandle != INVALID_PORT_HANDLE) {
        port.Close();  // never leak an earlier opening
    }
    port.portName = name != nullptr ? name : "";
    port.devicePath = port.portName;
    port.lastError = 0;
    port.openFailure = {};
    impl.lineGone.store(false, std::memory_order_relaxed);

    if (RegisterWindowClass()) {
        const std::string title = kWindowPrefix + port.portName;
        impl.hiddenWindow =
            CreateWindowExA(WS_EX_NOPARENTNOTIFY, kWindowClass, title.c_str(), WS_DISABLED, 0, 0, 1,
                            1, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    // COM10 and above open only through the device namespace; COM1..COM9 take it as well.
    const std::string device =
        port.portName.rfind("COM", 0) == 0 ? "\\\\.\\" + port.portName : port.portName;
    port.fileHandle = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port.fileHandle == INVALID_HANDLE_VALUE) {
        port.lastError = GetLastError();
        port.openFailure = DescribeOpenFailure(port.lastError);
        if (impl.hiddenWindow != nullptr) {
            DestroyWindow(impl.hiddenWindow);
            impl.hiddenWindow = nullptr;
        }
        return false;
    }
    GetCommTimeouts(port.fileHandle, &impl.savedTimeouts);
    if (openMode == MODE_DIRECT) {
        impl.readOverlapped = OVERLAPPED{};
        impl.readOverlapped.hEvent = NewManualResetEvent();
        impl.writeOverlapped = OVERLAPPED{};
        impl.writeOverlapped.hEvent = NewManualResetEvent();
        COMMTIMEOUTS timeouts{};  // reads wait for their whole count, writes have no limit
        SetCommTimeouts(port.fileHandle, &timeouts);
    } else if (openMode == MODE_RECEIVER) {
        impl.stopEvent = NewManualResetEvent();
        impl.writeOverlapped = OVERLAPPED{};
        impl.writeOverlapped.hEvent = NewManualResetEvent();
        impl.readOverlapped = OVERLAPPED{};
        impl.readOverlapped.hEvent = NewManualResetEvent();
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;  // reads return at once with what is there
        SetCommTimeouts(port.fileHandle, &timeouts);
    }
    port.baudRate = speed;
    port.mode = openMode;
    return true;
}

bool CommPort::Impl::FailOpen(CommPort& port, DWORD error) {
    port.Close();
    port.lastError = error;
    // The device opened but takes no line settings: whatever it is, it is no serial port.
    port.openFailure = DescribeOpenFailure(error);
    port.openFailure.kind = OpenFailureKind::NotSerialPort;
    return false;
}

bool CommPort::Open(const char* name, uint32_t speed, const char* frameText, int openMode) {
    LineFrame frame;
    if (!ParseFrameText(frameText, &frame)) {
        portName = name != nullptr ? name : "";
        lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    if (!Impl::OpenDevice(*this, name, speed, openMode)) {
        return false;
    }
    const std::string control = DeviceControlText(speed, frameText);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(fileHandle, &dcb) || !BuildCommDCBA(control.c_str(), &dcb)) {
        return Impl::FailOpen(*this, GetLastError());
    }
    ClearFlowControl(&dcb);
    if (!SetCommState(fileHandle, &dcb)) {
        return Impl::FailOpen(*this, GetLastError());
    }
    impl->line.Reset(speed, frame);
    return true;
}

bool CommPort::Open(const char* name, uint32_t speed, uint8_t byteSize, uint8_t parity,
                    uint8_t stopBits, int openMode) {
    if (!FrameCodesValid(LineFrame{byteSize, parity, stopBits})) {
        portName = name != nullptr ? name : "";
        lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    if (!Impl::OpenDevice(*this, name, speed, openMode)) {
        return false;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(fileHandle, &dcb)) {
        return Impl::FailOpen(*this, GetLastError());
    }
    dcb.ByteSize = byteSize;
    dcb.Parity = parity;
    dcb.BaudRate = speed;
    dcb.StopBits = stopBits;
    ClearFlowControl(&dcb);
    if (!SetCommState(fileHandle, &dcb)) {
        return Impl::FailOpen(*this, GetLastError());
    }
    impl->line.Reset(speed, LineFrame{byteSize, parity, stopBits});
    return true;
}

bool CommPort::Close() {
    StopTransferThread();
    StopReceiver();
    impl->line.Dropped(MonotonicMicros());  // what is still on its way is no longer ours
    bool released = true;
    if (fileHandle != INVALID_PORT_HANDLE) {
        PurgeComm(fileHandle, PURGE_RXABORT);
        SetCommTimeouts(fileHandle, &impl->savedTimeouts);
        if (!CloseHandle(fileHandle)) {
            lastError = GetLastError();
            released = false;
        }
        fileHandle = INVALID_PORT_HANDLE;
    }
    CloseOverlapped(&impl->readOverlapped);
    CloseOverlapped(&impl->writeOverlapped);
    if (impl->stopEvent != nullptr) {
        CloseHandle(impl->stopEvent);
        impl->stopEvent = nullptr;
    }
    if (impl->hiddenWindow != nullptr) {
        DestroyWindow(impl->hiddenWindow);
        impl->hiddenWindow = nullptr;
    }
    return released;
}

bool CommPort::SetTimeouts(uint32_t multiplier, uint32_t constant) {
    COMMTIMEOUTS timeouts{};
    if (!GetCommTimeouts(fileHandle, &timeouts)) {
        lastError = GetLastError();
        return false;
    }
    timeouts.ReadTotalTimeoutMultiplier = multiplier;
    timeouts.WriteTotalTimeoutMultiplier = multiplier;
    timeouts.ReadTotalTimeoutConstant = constant;
    timeouts.WriteTotalTimeoutConstant = constant;
    if (!SetCommTimeouts(fileHandle, &timeouts)) {
        lastError = GetLastError();
        return false;
    }
    return true;
}

bool CommPort::SetLineSpeed(uint32_t speed) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(fileHandle, &dcb)) {
        lastError = GetLastError();
        return false;
    }
    dcb.BaudRate = speed;
    if (!SetCommState(fileHandle, &dcb)) {
        lastError = GetLastError();
        return false;
    }
    impl->line.SetSpeed(speed);
    return true;
}

void CommPort::ShowLastError(const char* text) {
    const std::string report =
        FormatPortErrorText(text, lastError, SystemMessage(lastError), portName);
    MessageBoxA(nullptr, report.c_str(), nullptr, MB_OK);
}

void ShowLastError(CommPort& port, unsigned resourceId) {
    char text[1024] = {};
    LoadStringA(GetModuleHandleA(nullptr), resourceId, text, sizeof text);
    port.ShowLastError(text);
}

bool CommPort::SignalNamedEvent() {
    SetEvent(impl->namedEvent);
    // True as soon as another party that opened the event by its name has reset it.
    for (int check = 0; check < 5000; ++check) {
        if (check > 0) {
            Sleep(0);
        }
        if (WaitForSingleObject(impl->namedEvent, 0) != WAIT_OBJECT_0) {
            return true;
        }
    }
    return false;
}

bool CommPort::LineGone() const {
    return impl->lineGone.load(std::memory_order_acquire);
}

std::unique_ptr<SerialPort> CreateCommPort() {
    return std::make_unique<CommPort>();
}

}  // namespace norvane
