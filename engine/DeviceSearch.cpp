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
    StatusPoster& status = parts_.status;
    const MultiStrings& strings = parts_.strings;
    status.PostText(TextStatus,
                    FormatText(strings.Text(IDS_DETECTED_ON), static_cast<long long>(n)));
    status.PostProgress(ProgressSetRange, 0);

    // The serial text runs from its position to the end of the record, a final line feed
    // included where the device sends one.
    FlashResult result = MakeResult(RC_DEVICE_UNKNOWN);
    const char* kind = record + 5;
    if (std::memcmp(kind, "TV", 2) == 0) {
        status.PostText(TextSerial, record + 7);
        status.PostText(TextDevice, strings.Text(IDS_NAME_TV));
        result = MakeResult(RC_FOUND_TV);
    } else if (std::memcmp(kind, "GM", 2) == 0) {
        status.PostText(TextSerial, record + 7);
        status.PostText(TextDevice, strings.Text(IDS_NAME_GM));
        result = MakeResult(RC_FOUND_GM);
    } else if (std::memcmp(kind, "OS", 2) == 0) {
        starFlag_ = record[7] == '*';
        status.PostText(TextSerial, record + 9);
        status.PostText(TextDevice, strings.Text(IDS_NAME_OS));
        result = MakeResult(RC_FOUND_OS);
    } else {
        status.PostText(TextDevice, strings.Text(IDS_UNKNOWN_DEVICE));
    }
    parts_.ports.KeepOnly(n);
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
    for (int n = 1; n <= kPortCount; ++n) {
        PortStory story = parts_.ports.Story(n);
        if (story.fate == PortFate::Silent || story.fate == PortFate::NoGreeting) {
            story.sharedWith = parts_.ports.OtherHolder(n);  // the port is still open here
        }
        const std::string line = StoryLine(story, parts_.strings);
        if (!line.empty()) {
            lines += (lines.empty() ? "" : "\n") + line;
        }
    }
    return lines;
}

FlashResult DeviceSearch::SearchDevice(const std::atomic<int>* abortFlag) {
    PortBank& ports = parts_.ports;
    TickWait& ticks = parts_.ticks;
    for (int n = 1; n <= kPortCount; ++n) {
        ports.OpenSlot(n);
    }
    parts_.status.ShowPhase(parts_.strings.Text(IDS_SEARCHING), kSearchTicks);

    int32_t tick = 0;
    uint32_t deadline = ticks.Now() + kSearchTickMs;
    FlashResult result = MakeResult(RC_SEARCHING);
    for (int n = 1; result == RC_SEARCHING; n = n % kPortCount + 1) {
        // A closed slot spends its tick all the same.
        const char* record = nullptr;
        const ReplyKind kind = ports.ScanReply(n, &record);
        NoteWhatCame(n, kind);
        if (kind == REPLY_READY) {
            result = Detect(n, record);
        } else if (kind != REPLY_NONE) {
            result = MakeResult(RC_INVALID_REPLY, static_cast<uint16_t>(kind));
        }
        ticks.UntilDeadline(deadline);
        deadline += kSearchTickMs;
        parts_.status.PostProgress(ProgressSetPosition, ++tick);
        // The limit and the abort overrule a detection in the same tick: the search is over
        // for the user either way, and every port is closed below.
        if (tick == kSearchTicks) {
            result = MakeResult(RC_NO_DEVICE);
        }
        if (AbortRequested(abortFlag)) {
            result = MakeResult(RC_INTERRUPTED);
        }
    }

    // The second text: each port's story when nothing greeted; the port of a record that
    // ended the search (the last one read).
    std::string detail;
    if (result == MakeResult(RC_NO_DEVICE)) {
        detail = PortStories();
    } else if (CodeOf(result) == RC_INVALID_REPLY) {
        detail = FormatText(parts_.strings.Text(IDS_WHY_INVALID_REPLY),
                            {ports.LastReply(), ports.LastReplyPort()});
    }
    parts_.status.SetResultDetail(detail);
    if (result == MakeResult(RC_NO_DEVICE) || result == MakeResult(RC_INTERRUPTED)) {
        // A detection in this very tick is overruled: its slot is closed with the others, so
        // the active slot must not name it any more.
        ports.ForgetActive();
        for (int i = 1; i <= kPortCount; ++i) {
            ticks.Sleep(kClosePauseMs);
            ports.CloseSlot(i);
        }
    }
    return result;
}

}  // namespace norvane
