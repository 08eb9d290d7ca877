// The texts each of the main window's fields shows in an ordinary job, in the user's language:
// a window laid out for them in its own font holds them in full from the start, so it does not
// change size while the job runs. A rarer, wider text (an unknown device, a serial number in
// wide capitals) widens the window when it arrives.
#pragma once

#include <string>
#include <vector>

namespace norvane {

class MultiStrings;

struct FieldSamples {
    std::vector<std::string> status;  // every phase's text, with the numbers it carries
    std::vector<std::string> device;  // the names of the device kinds
    std::vector<std::string> serial;  // a serial number of the most digits a greeting holds
};

FieldSamples FieldSamplesFrom(const MultiStrings& strings);

}  // namespace norvane
