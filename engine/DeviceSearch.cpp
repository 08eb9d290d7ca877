#include "engine/DeviceSearch.h"

#include <cstring>

#include "strings/MultiStrings.h"
#include "strings/StringIds.h"

namespace norvane {
namespace {

constexpr uint32_t kSearchTickMs = 100;
constexpr int32_t kSearchTicks = 300;
constexpr uint32_t kClosePauseMs = 100;

}  // namespace

FlashResult DeviceSearch::Detect(int n, const char* record) {
    PortBank& ports = parts_.ports;
    const MultiStrings& strings = parts_.strings;
    const int number = ports.Entry(n).number;
    parts_.status.ShowPhase(
        FormatText(strings.Text(IDS_DETECTED_ON), static_cast<long long>(number)), 0);

    // The serial text runs from its position to the end of the record, a final line feed
    // included where the device sends one.
    JobEvent::Found found;
    found.port = number;
    found.path = ports.DevicePath(n);
    found.kindCode.assign(record + 5, 2);
    FlashResult result = MakeResult(RC_DEVICE_UNKNOWN);
    if (std::memcmp(record + 5, "TV", 2) == 0) {
        found.kind = IMAGE_TV;
        found.serial = record + 7;
        found.displayName = strings.Text(IDS_NAME_TV);
        result = MakeResult(RC_FOUND_TV);
    } else if (std::memcmp(record + 5, "GM", 2) == 0) {
        found.kind = IMAGE_GM;
        found.serial = record + 7;
        found.displayName = strings.Text(IDS_NAME_GM);
        result = MakeResult(RC_FOUND_GM);
    } else if (std::memcmp(record + 5, "OS", 2) == 0) {
        found.kind = IMAGE_OS;
        found.starFlag = record[7] == '*';
        found.serial = record + 9;
        found.displayName = strings.Text(IDS_NAME_OS);
        result = MakeResult(RC_FOUND_OS);
    } else {
        found.displayName = strings.Text(IDS_UNKNOWN_DEVICE);
    }
    parts_.status.PostFound(found);
    found_ = std::move(found);
    ports.KeepOnly(n);
    return result;
}

void DeviceSearch::NoteWhatCame(int n, ReplyKind kind) {
    PortBank& ports = parts_.ports;
    if (!ports.IsOpen(n)) {
        return;
    }
    PortStory& story = ports.Story(n);
    if (kind == REPLY_READY) {
        story.fate = PortFate::Greeted;
    } else if (ports.LineGone(n)) {
        story.fate = PortFate::Disconnected;
    } else if (story.fate == PortFate::Silent && ports.DataArrived(n)) {
        story.fate = PortFate::NoGreeting;
    }
}

std::string DeviceSearch::PortStories() {
    std::string lines;
    std::string tried;
    for (int n = 1; n <= parts_.ports.Count(); ++n) {
        PortStory story = parts_.ports.Story(n);
        if (story.fate == PortFate::Silent || story.fate == PortFate::NoGreeting) {
            story.sharedWith = parts_.ports.OtherHolder(n);  // the port is still open here
        }
        const std::string line = StoryLine(story, parts_.strings);
        if (!line.empty()) {
            lines += (lines.empty() ? "" : "\n") + line;
        }
        tried += (tried.empty() ? "" : ", ") + story.label;
    }
    // Not one port exists (every variable empty, a mistyped path): say which were tried.
    if (lines.empty() && !tried.empty()) {
        return FormatText(parts_.strings.Text(IDS_WHY_NO_PORT), {tried});
    }
    return lines;
}

SearchOutcome DeviceSearch::SearchDevice(const std::atomic<int>* abortFlag,
                                         const std::atomic<int>* noNewDevice) {
    PortBank& ports = parts_.ports;
    TickWait& ticks = parts_.ticks;
    const int count = ports.Count();
    for (int n = 1; n <= count; ++n) {
        ports.OpenSlot(n);
    }
    parts_.status.ShowPhase(parts_.strings.Text(IDS_SEARCHING), kSearchTicks);

    int32_t tick = 0;
    uint32_t deadline = ticks.Now() + kSearchTickMs;
    FlashResult result = MakeResult(RC_SEARCHING);
    // Without any port every tick finds nothing (slot 0 holds no port).
    for (int n = count > 0 ? 1 : 0; result == RC_SEARCHING; n = count > 0 ? n % count + 1 : 0) {
        // A closed slot spends its tick all the same.
        const char* record = nullptr;
        const ReplyKind kind = ports.ScanReply(n, &record);
        NoteWhatCame(n, kind);
        if (kind == REPLY_READY) {
            result = Detect(n, record);
        } else if (kind != REPLY_NONE) {
            result = MakeResult(RC_INVALID_REPLY, static_cast<uint16_t>(kind));
        }
        // A port that answered ends the search at once: the device waits for us.
        if (result == MakeResult(RC_SEARCHING)) {
            ticks.UntilDeadline(deadline);
        }
        deadline += kSearchTickMs;
        parts_.status.PostProgress(++tick);
        // The limit and the abort overrule a detection in the same tick: the search is over
        // for the user either way, and every port is closed below.
        if (tick == kSearchTicks) {
            result = MakeResult(RC_NO_DEVICE);
        }
        if (AbortRequested(abortFlag) || AbortRequested(noNewDevice)) {
            result = MakeResult(RC_INTERRUPTED);
        }
    }

    // The second text: each port's story when nothing greeted; the port of a record that
    // ended the search (the last one read).
    std::string detail;
    if (result == MakeResult(RC_NO_DEVICE)) {
        detail = PortStories();
    } else if (result == MakeResult(RC_INTERRUPTED)) {
        detail = InterruptedDetail(parts_.strings.Text(IDS_PHASE_SEARCH), parts_.strings);
    } else if (CodeOf(result) == RC_INVALID_REPLY) {
        detail = FormatText(parts_.strings.Text(IDS_WHY_INVALID_REPLY),
                            {ports.LastReply(), ports.LastReplyPort()});
    } else if (result == MakeResult(RC_DEVICE_UNKNOWN) && found_) {
        detail = UnknownKindDetail(*found_, parts_.strings);
    }
    if (result == MakeResult(RC_NO_DEVICE) || result == MakeResult(RC_INTERRUPTED)) {
        // A detection in this very tick is overruled: its slot is closed with the others, so
        // the active slot must not name it any more.
        ports.ForgetActive();
        for (int i = 1; i <= count; ++i) {
            ticks.Sleep(kClosePauseMs);
            ports.CloseSlot(i);
        }
        found_.reset();
    }
    return {result, std::move(detail), std::move(found_)};
}

}  // namespace norvane
