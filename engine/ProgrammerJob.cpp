#include "engine/ProgrammerJob.h"

#include "platform/NotifyWindow.h"

namespace norvane {
namespace {

// The device kind a search result names, or IMAGE_INVALID for any other result.
ImageKind FoundKind(FlashResult result) {
    switch (CodeOf(result)) {
        case RC_FOUND_OS:
            return IMAGE_OS;
        case RC_FOUND_GM:
            return IMAGE_GM;
        case RC_FOUND_TV:
            return IMAGE_TV;
        default:
            return IMAGE_INVALID;
    }
}

}  // namespace

FlashResult RunProgrammingJob(JobStart* start, const JobEnvironment& environment) {
    NotifyWindow* const window = start->notifyWindow;
    const std::atomic<int>* const abortFlag = start->abortFlag;
    delete start;

    auto programmer = environment.createProgrammer();
    programmer->SetNotifyWindow(window);

    const ImageSpan image = environment.loadImage();
    const ImageKind kind = UsableImageKind(image);

    FlashResult result = MakeResult(RC_INVALID_IMAGE);
    if (kind != IMAGE_INVALID) {
        window->PostText(TextProgramVersion, VersionTextOf(image, kind));
        result = programmer->SearchDevice(abortFlag);
    }

    const ImageKind found = FoundKind(result);
    if (found != IMAGE_INVALID) {
        if (found != kind) {
            result = MakeResult(RC_WRONG_DEVICE);
        } else if (kind == IMAGE_OS) {
            const uint32_t length = OsImageLength(image);
            result = (length == 0)
                         ? MakeResult(RC_INVALID_IMAGE)
                         : programmer->RunBlockCrcProtocol(image.first(length), abortFlag);
        } else {
            result = programmer->RunChecksumProtocol(image, abortFlag);
        }
    }

    const std::string detail = programmer->ResultDetail();
    programmer.reset();  // closes every port still open
    if (!detail.empty()) {
        window->PostText(TextResultDetail, detail);
    }
    window->PostDone(result);
    return result;
}

}  // namespace norvane
