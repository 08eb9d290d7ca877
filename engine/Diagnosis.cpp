#include "engine/Diagnosis.h"

#include "engine/ReplyScanner.h"
#include "strings/MultiStrings.h"
#include "strings/StringIds.h"
#include "strings/VisibleText.h"

namespace norvane {

std::string PortLabel(int n, std::string_view devicePath, std::string_view description) {
    const std::string name = "COM" + std::to_string(n);
    std::string details(devicePath != name ? devicePath : std::string_view());
    if (!description.empty()) {
        details += details.empty() ? "" : ", ";
        details += description;
    }
    return details.empty() ? name : name + " (" + details + ")";
}

PortFate FateOfFailedOpen(const OpenFailure& failure) {
    switch (failure.kind) {
        case OpenFailureKind::NotSerialPort:
            return PortFate::NotSerialPort;
        case OpenFailureKind::PermissionDenied:
            return PortFate::PermissionDenied;
        case OpenFailureKind::InUse:
            return PortFate::InUse;
        case OpenFailureKind::OpenedTwice:
            return PortFate::SamePort;
        case OpenFailureKind::Other:
            return PortFate::OpenFailed;
        case OpenFailureKind::None:
        case OpenFailureKind::NotPresent:
            break;
    }
    return PortFate::Absent;
}

namespace {

// " cat (process 812) has this port open as well. ...": a program that takes no lock reads
// the device's bytes too, and a greeting split between two readers is no greeting.
std::string SharedWith(const PortStory& story, const MultiStrings& strings) {
    if (!story.sharedWith) {
        return {};
    }
    // Appended, not `" " + FormatText(...)`: GCC 12 at -O3 takes the copy inside that
    // operator for an overlapping one (-Wrestrict, a false positive), failing Release.
    std::string text = " ";
    text += FormatText(strings.Text(IDS_PORT_ALSO_OPEN),
                       {story.sharedWith->name, std::to_string(story.sharedWith->pid)});
    return text;
}

}  // namespace

std::string StoryLine(const PortStory& story, const MultiStrings& strings) {
    const std::string& port = story.label;
    switch (story.fate) {
        case PortFate::NotSerialPort:
            return FormatText(strings.Text(IDS_PORT_NOT_SERIAL), {port});
        case PortFate::PermissionDenied:
            return FormatText(strings.Text(IDS_PORT_DENIED), {port});
        case PortFate::InUse:
            switch (story.failure.holder.known) {
                case KnownHolder::Norvane:
                    return FormatText(strings.Text(IDS_PORT_IN_USE_NORVANE),
                                      {port, std::to_string(story.failure.holder.pid)});
                case KnownHolder::ModemManager:
                    return FormatText(strings.Text(IDS_PORT_HELD_MODEMMANAGER), {port});
                case KnownHolder::Brltty:
                    return FormatText(strings.Text(IDS_PORT_HELD_BRLTTY), {port});
                case KnownHolder::Other:
                    break;
            }
            if (!story.failure.holder.name.empty()) {
                return FormatText(strings.Text(IDS_PORT_IN_USE_BY),
                                  {port, story.failure.holder.name});
            }
            return FormatText(strings.Text(IDS_PORT_IN_USE), {port});
        case PortFate::SamePort:
            return FormatText(strings.Text(IDS_PORT_SAME_AS), {port, story.failure.openedAs});
        case PortFate::OpenFailed:
            return FormatText(strings.Text(IDS_PORT_OPEN_FAILED), {port, story.failure.systemText});
        case PortFate::Silent:
            return FormatText(strings.Text(IDS_PORT_SILENT), {port}) + SharedWith(story, strings);
        case PortFate::NoGreeting:
            return FormatText(strings.Text(IDS_PORT_NO_GREETING), {port}) +
                   SharedWith(story, strings);
        case PortFate::Disconnected:
            return FormatText(strings.Text(IDS_WHY_DISCONNECTED), {port});
        case PortFate::Absent:
        case PortFate::Greeted:
            break;
    }
    return {};
}

std::string PhaseText(const RunPhase& phase, const MultiStrings& strings) {
    switch (phase.kind) {
        case RunPhase::Erase:
            return strings.Text(IDS_PHASE_ERASE);
        case RunPhase::Block:
            return FormatText(strings.Text(IDS_PHASE_BLOCK), {phase.block, phase.region});
        case RunPhase::Verify:
            break;
    }
    return strings.Text(IDS_PHASE_VERIFY);
}

std::string StepEndDetail(const StepEnd& end, const MultiStrings& strings) {
    const ResultCode code = CodeOf(end.result);
    if (code == RC_SUCCESS) {
        return {};
    }
    if (code == RC_INTERRUPTED) {
        return InterruptedDetail(PhaseText(end.phase, strings), strings);
    }
    // Whatever the wait ended with, these are why: the line went away, would not take the
    // data, or this computer lost what the device said.
    if (end.lineGone) {
        return FormatText(strings.Text(IDS_WHY_DISCONNECTED), {end.portLabel});
    }
    if (end.lineStalled) {
        return FormatText(strings.Text(IDS_WHY_LINE_STALLED), {end.portLabel});
    }
    if (end.droppedBytes > 0 && code != RC_INVALID_IMAGE) {
        return FormatText(strings.Text(IDS_WHY_BYTES_LOST),
                          {static_cast<long long>(end.droppedBytes), end.portLabel});
    }
    if (code == RC_INVALID_REPLY) {
        return FormatText(strings.Text(IDS_WHY_INVALID_REPLY), {end.reply, end.replyPort});
    }
    if (code == RC_ERASE_FAILED) {
        return FormatText(strings.Text(IDS_WHY_ERASE_FAILED), {end.portLabel});
    }
    if (code != RC_DEVICE_ERROR) {
        return {};
    }
    if (end.deviceReported && DetailOf(end.result) >= DETAIL_CRC_MISMATCH) {
        // The device's own code, though it is one the host uses for its limits too.
        return FormatText(
            strings.Text(IDS_WHY_DEVICE_REPORTED),
            {static_cast<long long>(DetailOf(end.result)), PhaseText(end.phase, strings)});
    }
    switch (DetailOf(end.result)) {
        case DETAIL_TIMEOUT:
            return FormatText(strings.Text(IDS_WHY_NO_ANSWER), {PhaseText(end.phase, strings)});
        case DETAIL_CRC_MISMATCH:
            return FormatText(strings.Text(IDS_WHY_BLOCK_MISMATCH),
                              static_cast<long long>(end.mismatchBlock));
        default:
            return FormatText(strings.Text(IDS_WHY_DEVICE_CODE), {PhaseText(end.phase, strings)});
    }
}

std::string InterruptedDetail(std::string_view phaseText, const MultiStrings& strings) {
    return FormatText(strings.Text(IDS_WHY_INTERRUPTED), {phaseText});
}

std::string UnknownKindDetail(const JobEvent::Found& device, const MultiStrings& strings) {
    return FormatText(strings.Text(IDS_WHY_UNKNOWN_KIND),
                      {PortLabel(device.port, device.path), VisibleText(device.kindCode)});
}

std::string WrongDeviceDetail(const JobEvent::Found& device, ImageKind imageKind,
                              const MultiStrings& strings) {
    const int imageName = imageKind == IMAGE_OS   ? IDS_NAME_OS
                          : imageKind == IMAGE_GM ? IDS_NAME_GM
                                                  : IDS_NAME_TV;
    const char* imageCode = imageKind == IMAGE_OS ? "OS" : imageKind == IMAGE_GM ? "GM" : "TV";
    return FormatText(strings.Text(IDS_WHY_WRONG_DEVICE),
                      {PortLabel(device.port, device.path), device.displayName,
                       VisibleText(device.kindCode), strings.Text(imageName), imageCode});
}

std::string ImageFaultDetail(ImageFault fault, const MultiStrings& strings) {
    switch (fault) {
        case ImageFault::NoKindCode:
            return strings.Text(IDS_IMAGE_NO_KIND);
        case ImageFault::NoVersionEnd:
            return strings.Text(IDS_IMAGE_NO_VERSION_END);
        case ImageFault::TooShort:
            return strings.Text(IDS_IMAGE_TOO_SHORT);
        case ImageFault::NoEndMarker:
            return strings.Text(IDS_IMAGE_NO_FF);
        case ImageFault::OsRegions:
            return strings.Text(IDS_IMAGE_OS_REGIONS);
        case ImageFault::None:
            break;
    }
    return {};
}

std::string ReplyText(const char* record) {
    std::string_view text(record, kRecordLength);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' ||
                             text.back() == '\0')) {
        text.remove_suffix(1);
    }
    return VisibleText(text);
}

}  // namespace norvane
