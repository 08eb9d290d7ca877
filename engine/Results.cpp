#include "engine/Results.h"

#include "strings/MultiStrings.h"
#include "strings/StringIds.h"

namespace norvane {

std::optional<int> MessageIdOf(FlashResult result) {
    switch (CodeOf(result)) {
        case RC_DEVICE_UNKNOWN:
            return IDS_UNKNOWN_DEVICE;
        case RC_SUCCESS:
            return IDS_PROGRAMMED_OK;
        case RC_NO_DEVICE:
            return IDS_NO_DEVICE;
        case RC_WRONG_DEVICE:
            return IDS_WRONG_DEVICE;
        case RC_INTERRUPTED:
            return IDS_INTERRUPTED;
        case RC_DEVICE_ERROR:
            return IDS_DEVICE_ERROR;
        case RC_ERASE_FAILED:
            return IDS_ERASE_FAILED;
        case RC_INVALID_IMAGE:
            return IDS_INVALID_IMAGE;
        case RC_INVALID_REPLY:
            return IDS_INVALID_REPLY;
        default:
            return std::nullopt;  // internal codes and loop states have no message
    }
}

std::optional<std::string> MessageOf(FlashResult result, const MultiStrings& strings) {
    const auto id = MessageIdOf(result);
    if (!id) {
        return std::nullopt;
    }
    const char* text = strings.Text(*id);
    if (CodeOf(result) == RC_DEVICE_ERROR) {
        return FormatText(text, static_cast<long long>(DetailOf(result)));
    }
    return std::string(text);
}

}  // namespace norvane
