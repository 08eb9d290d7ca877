// The pacing of the host's bytes: 10 bits per byte at the host's speed, bursts that start when
// the host's first byte reaches the line, no credit for an idle line.
#include <gtest/gtest.h>

#include "tools/simulator/LinePacer.h"

namespace norvane::sim {
namespace {

TEST(LinePacer, WireTimeIsTenBitsPerByteRoundedUp) {
    EXPECT_EQ(LinePacer::WireMicros(1, 9600), 1042u);
    EXPECT_EQ(LinePacer::WireMicros(960, 9600), 1'000'000u);
    EXPECT_EQ(LinePacer::WireMicros(11520, 115200), 1'000'000u);
    EXPECT_EQ(LinePacer::WireMicros(0, 115200), 0u);
    EXPECT_EQ(LinePacer::WireMicros(960, 0), 1'000'000u);  // unknown speed: 9600
}

TEST(LinePacer, BytesBecomeDueOneByteTimeApartFromTheStartOfTheBurst) {
    LinePacer pacer;
    EXPECT_FALSE(pacer.Active());
    EXPECT_EQ(pacer.Due(5'000'000, 9600), 0u);  // idle: nothing is due, whatever the time
    pacer.Start(1'000'000, 9600);
    EXPECT_TRUE(pacer.Active());
    EXPECT_EQ(pacer.Due(1'000'000, 9600), 0u);
    EXPECT_EQ(pacer.Due(1'001'041, 9600), 0u);
    EXPECT_EQ(pacer.Due(1'001'042, 9600), 1u);
    EXPECT_EQ(pacer.WakeFor(1), 1'001'042u);
    pacer.Took(1);
    EXPECT_EQ(pacer.Due(1'001'042, 9600), 0u);
    EXPECT_EQ(pacer.WakeFor(1), 1'002'084u);
    EXPECT_EQ(pacer.Due(2'000'000, 9600), 959u);  // no drift over a whole second
    pacer.Took(959);
    EXPECT_EQ(pacer.Due(2'000'000, 9600), 0u);
}

TEST(LinePacer, AChangeOfSpeedContinuesWhereTheLastByteEnded) {
    LinePacer pacer;
    pacer.Start(0, 9600);
    pacer.Took(pacer.Due(1'000'000, 9600));  // 960 bytes: the line is busy up to 1 s
    EXPECT_EQ(pacer.Due(1'000'000, 115200), 0u);
    EXPECT_EQ(pacer.Due(1'500'000, 115200), 5760u);
    EXPECT_EQ(pacer.WakeFor(1), 1'000'087u);
}

TEST(LinePacer, AnIdleLineEarnsNoCredit) {
    LinePacer pacer;
    pacer.Start(0, 115200);
    pacer.Took(pacer.Due(1'000, 115200));
    pacer.Stop();  // the host's queue ran dry
    EXPECT_FALSE(pacer.Active());
    pacer.Start(10'000'000, 115200);
    EXPECT_EQ(pacer.Due(10'000'000, 115200), 0u);
    EXPECT_EQ(pacer.Due(10'001'000, 115200), 11u);
    EXPECT_EQ(pacer.WakeFor(12), 10'001'042u);
}

}  // namespace
}  // namespace norvane::sim
