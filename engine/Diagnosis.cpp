#include "engine/Diagnosis.h"

#include "engine/ReplyScanner.h"
#include "strings/MultiStrings.h"
#include "strings/StringIds.h"

namespace norvane {

std::string PortLabel(int n, std::string_view devicePath) {
    std::string label = "COM" + std::to_string(n);
    if (!devicePath.empty() && devicePath != label) {
        label += " (";
        label += devicePath;
        label += ")";
    }
    return label;
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
            if (story.failure.holder.isNorvane) {
                return FormatText(strings.Text(IDS_PORT_IN_USE_NORVANE),
                                  {port, std::to_string(story.failure.holder.pid)});
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
    if (code == RC_SUCCESS || code == RC_INTERRUPTED) {
        return {};
    }
    if (end.lineGone) {  // whatever the wait ended with, this is why
        return FormatText(strings.Text(IDS_WHY_DISCONNECTED), {end.portLabel});
    }
    if (code == RC_INVALID_REPLY) {
        return FormatText(strings.Text(IDS_WHY_INVALID_REPLY), {end.reply, end.replyPort});
    }
    if (code != RC_DEVICE_ERROR) {
        return {};
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

std::string ReplyText(const char* record) {
    std::string text(record, kRecordLength);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' ||
                             text.back() == '\0')) {
        text.pop_back();
    }
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
            c = '?';
        }
    }
    return text;
}

}  // namespace norvane
