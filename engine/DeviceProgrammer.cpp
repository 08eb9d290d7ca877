#include "engine/DeviceProgrammer.h"

namespace norvane {

DeviceProgrammer::DeviceProgrammer(PortFactory createPort, PortList ports, Clock& clock,
                                   const MultiStrings& strings)
    : ports_(std::move(createPort), std::move(ports)),
      ticks_(clock, ports_, status_),
      parts_{ports_, ticks_, status_, strings} {}

SearchOutcome DeviceProgrammer::SearchDevice(const std::atomic<int>* abortFlag,
                                             const std::atomic<int>* noNewDevice) {
    return DeviceSearch(parts_).SearchDevice(abortFlag, noNewDevice);
}

StepOutcome DeviceProgrammer::RunBlockCrcProtocol(ImageSpan image, bool starFlag,
                                                  const std::atomic<int>* abortFlag) {
    return BlockCrcProtocol(parts_).RunBlockCrcProtocol(image, starFlag, abortFlag);
}

StepOutcome DeviceProgrammer::RunChecksumProtocol(ImageSpan image,
                                                  const std::atomic<int>* abortFlag) {
    return ChecksumProtocol(parts_).RunChecksumProtocol(image, abortFlag);
}

}  // namespace norvane
