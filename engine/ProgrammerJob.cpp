#include "engine/ProgrammerJob.h"

#include "engine/Diagnosis.h"

namespace norvane {
namespace {

// The job's own second texts, where it has the texts to say them.
std::string Explained(const JobEnvironment& environment,
                      const std::function<std::string(const MultiStrings&)>& explain) {
    return environment.strings ? explain(*environment.strings) : std::string();
}

}  // namespace

FlashResult RunProgrammingJob(const JobContext& context, const JobEnvironment& environment) {
    auto programmer = environment.createProgrammer(context.ports);
    programmer->SetEventSink(&context.events, context.job);

    const ImageSpan image = environment.loadImage();
    const ImageKind kind = UsableImageKind(image);

    StepOutcome outcome{MakeResult(RC_INVALID_IMAGE),
                        Explained(environment, [&](const MultiStrings& strings) {
                            return ImageFaultDetail(UnusableImageFault(image), strings);
                        })};
    if (kind != IMAGE_INVALID) {
        context.events.Post({context.job, JobEvent::Version{VersionTextOf(image, kind)}});
        SearchOutcome search = programmer->SearchDevice(&context.abortFlag, context.noNewDevice);
        outcome = {search.result, std::move(search.detail)};
        if (search.device && context.acceptDevice && !context.acceptDevice(*search.device)) {
            outcome = {MakeResult(RC_DECLINED), {}};
        } else if (search.device && search.device->kind != IMAGE_INVALID) {
            const JobEvent::Found& device = *search.device;
            if (device.kind != kind) {
                outcome = {MakeResult(RC_WRONG_DEVICE),
                           Explained(environment, [&](const MultiStrings& strings) {
                               return WrongDeviceDetail(device, kind, strings);
                           })};
            } else if (kind == IMAGE_OS && OsImageLength(image) == 0) {
                outcome = {MakeResult(RC_INVALID_IMAGE),
                           Explained(environment, [&](const MultiStrings& strings) {
                               return ImageFaultDetail(ImageFault::NoEndMarker, strings);
                           })};
            } else if (kind == IMAGE_OS) {
                outcome = programmer->RunBlockCrcProtocol(image.first(OsImageLength(image)),
                                                          device.starFlag, &context.abortFlag);
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
