#include "engine/ProgrammerJob.h"

namespace norvane {

FlashResult RunProgrammingJob(const JobContext& context, const JobEnvironment& environment) {
    auto programmer = environment.createProgrammer(context.ports);
    programmer->SetEventSink(&context.events, context.job);

    const ImageSpan image = environment.loadImage();
    const ImageKind kind = UsableImageKind(image);

    StepOutcome outcome{MakeResult(RC_INVALID_IMAGE), {}};
    if (kind != IMAGE_INVALID) {
        context.events.Post({context.job, JobEvent::Version{VersionTextOf(image, kind)}});
        SearchOutcome search = programmer->SearchDevice(&context.abortFlag, context.noNewDevice);
        outcome = {search.result, std::move(search.detail)};
        if (search.device && context.acceptDevice && !context.acceptDevice(*search.device)) {
            outcome = {MakeResult(RC_DECLINED), {}};
        } else if (search.device && search.device->kind != IMAGE_INVALID) {
            const JobEvent::Found& device = *search.device;
            if (device.kind != kind) {
                outcome = {MakeResult(RC_WRONG_DEVICE), {}};
            } else if (kind == IMAGE_OS) {
                const uint32_t length = OsImageLength(image);
                outcome = (length == 0)
                              ? StepOutcome{MakeResult(RC_INVALID_IMAGE), {}}
                              : programmer->RunBlockCrcProtocol(
                                    image.first(length), device.starFlag, &context.abortFlag);
            } else {
                outcome = programmer->RunChecksumProtocol(image, &context.abortFlag);
            }
        }
    }

    programmer.reset();  // closes every port still open
    context.events.Post({context.job, JobEvent::Done{outcome.result, outcome.detail}});
    return outcome.result;
}

}  // namespace norvane
