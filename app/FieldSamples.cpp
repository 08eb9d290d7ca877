#include "app/FieldSamples.h"

#include "strings/MultiStrings.h"
#include "strings/StringIds.h"

namespace norvane {
namespace {

// A greeting carries at most nine characters of serial number (a TV or GM greeting's).
constexpr size_t kLongestSerial = 9;

}  // namespace

FieldSamples FieldSamplesFrom(const MultiStrings& strings) {
    FieldSamples samples;
    samples.status = {
        strings.Text(IDS_SEARCHING),
        FormatText(strings.Text(IDS_DETECTED_ON), 8LL),
        strings.Text(IDS_ERASING),
        FormatText(strings.Text(IDS_ERASING_REGION), 1LL),
        FormatText(strings.Text(IDS_PROGRAMMING_REGION), 1LL),
        FormatText(strings.Text(IDS_PROGRAMMING_BLOCK), 1LL),  // the numbers are regions
        strings.Text(IDS_VERIFYING),
    };
    samples.device = {strings.Text(IDS_NAME_TV), strings.Text(IDS_NAME_GM),
                      strings.Text(IDS_NAME_OS)};
    samples.serial = {std::string(kLongestSerial, '8')};
    return samples;
}

}  // namespace norvane
