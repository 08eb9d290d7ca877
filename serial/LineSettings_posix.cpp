#include "serial/LineSettings_posix.h"

#include "serial/PosixIo.h"

namespace norvane::posix {

namespace {

void ApplyFrame(termios* settings, const LineFrame& frame) {
    settings->c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    settings->c_cflag |= kSizes[frame.dataBits - 5];
    switch (frame.parity) {
        case PARITY_ODD:
            settings->c_cflag |= PARENB | PARODD;
            break;
        case PARITY_EVEN:
            settings->c_cflag |= PARENB;
            break;
        case PARITY_MARK:
            settings->c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case PARITY_SPACE:
            settings->c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
    }
    if (frame.stopBits == STOP_BITS_TWO) {
        settings->c_cflag |= CSTOPB;
    }
}

}  // namespace

bool MakeLineSettings(const termios& found, const LineFrame& frame, uint32_t baudRate,
                      termios* settings) {
    speed_t speed = B0;
    if (!FrameCodesValid(frame) || frame.stopBits == STOP_BITS_ONE5 ||
        !SpeedCode(baudRate, &speed)) {
        return false;
    }
    termios line = found;
    cfmakeraw(&line);
    line.c_cflag |= CLOCAL | CREAD;
    line.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    line.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    ApplyFrame(&line, frame);
    // With VMIN 1 a non-blocking read of an empty line fails with EAGAIN, so 0 means hang-up.
    line.c_cc[VMIN] = 1;
    line.c_cc[VTIME] = 0;
    if (cfsetispeed(&line, speed) != 0 || cfsetospeed(&line, speed) != 0) {
        return false;
    }
    *settings = line;
    return true;
}

}  // namespace norvane::posix
