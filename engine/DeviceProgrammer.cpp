#include "engine/DeviceProgrammer.h"

namespace norvane {

DeviceProgrammer::DeviceProgrammer(PortFactory createPort, Clock& clock,
                                   const MultiStrings& strings, PortList ports)
    : ports_(std::move(createPort), std::move(ports)),
      ticks_(clock, ports_, status_),
      parts_{ports_, ticks_, status_, strings},
      search_(parts_) {}

FlashResult DeviceProgrammer::SearchDevice(const std::atomic<int>* abortFlag) {
    return search_.SearchDevice(abortFlag);
}

FlashResult DeviceProgrammer::RunBlockCrcProtocol(ImageSpan image,
                                                  const std::atomic<int>* abortFlag) {
    return BlockCrcProtocol(parts_).RunBlockCrcProtocol(image, search_.StarFlag(), abortFlag);
}

FlashResult DeviceProgrammer::RunChecksumProtocol(ImageSpan image,
                                                  const std::atomic<int>* abortFlag) {
    return ChecksumProtocol(parts_).RunChecksumProtocol(image, abortFlag);
}

}  // namespace norvane
