// The termios settings built for a frame and speed, checked without a device.
#include <gtest/gtest.h>

#include "serial/LineSettings_posix.h"

namespace norvane {
namespace {

termios Cooked() {
    termios line{};
    line.c_iflag = ICRNL | IXON | IXOFF | IXANY;
    line.c_oflag = OPOST | ONLCR;
    line.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    line.c_cflag = CS8 | CRTSCTS | HUPCL;
    return line;
}

TEST(LineSettings, RawWithoutFlowControl) {
    termios line{};
    ASSERT_TRUE(posix::MakeLineSettings(Cooked(), {8, PARITY_NONE, STOP_BITS_ONE}, 9600, &line));
    EXPECT_EQ(cfgetospeed(&line), B9600);
    EXPECT_EQ(cfgetispeed(&line), B9600);
    EXPECT_EQ(line.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD),
              static_cast<tcflag_t>(CS8 | CLOCAL | CREAD));
    EXPECT_EQ(line.c_iflag & (ICRNL | IXON | IXOFF | IXANY), 0u);
    EXPECT_EQ(line.c_oflag & OPOST, 0u);
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(line.c_cc[VMIN], 1);  // empty non-blocking reads fail with EAGAIN, not 0
    EXPECT_EQ(line.c_cc[VTIME], 0);
}

TEST(LineSettings, DataBitsParityAndStopBits) {
    termios line{};
    ASSERT_TRUE(posix::MakeLineSettings(Cooked(), {7, PARITY_EVEN, STOP_BITS_TWO}, 19200, &line));
    EXPECT_EQ(line.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB),
              static_cast<tcflag_t>(CS7 | PARENB | CSTOPB));
    ASSERT_TRUE(posix::MakeLineSettings(line, {5, PARITY_ODD, STOP_BITS_ONE}, 115200, &line));
    EXPECT_EQ(line.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB),
              static_cast<tcflag_t>(CS5 | PARENB | PARODD));
    EXPECT_EQ(cfgetospeed(&line), B115200);
    ASSERT_TRUE(posix::MakeLineSettings(line, {6, PARITY_MARK, STOP_BITS_ONE}, 57600, &line));
    EXPECT_EQ(line.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR),
              static_cast<tcflag_t>(CS6 | PARENB | PARODD | CMSPAR));
    ASSERT_TRUE(posix::MakeLineSettings(line, {8, PARITY_SPACE, STOP_BITS_ONE}, 38400, &line));
    EXPECT_EQ(line.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR),
              static_cast<tcflag_t>(CS8 | PARENB | CMSPAR));
}

}  // namespace
}  // namespace norvane
