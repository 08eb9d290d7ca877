#include <gtest/gtest.h>

#include "engine/Results.h"
#include "strings/MultiStrings.h"

namespace norvane {
namespace {

class ResultMessages : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(strings.Load(StringTableResource())); }
    MultiStrings strings;
};

TEST(ResultComposition, DetailRidesInTheHighHalf) {
    EXPECT_EQ(MakeResult(RC_DEVICE_ERROR, 0xFFFF), 0xFFFF1003u);
    EXPECT_EQ(MakeResult(RC_INVALID_REPLY, 4), 0x00041006u);
    EXPECT_EQ(CodeOf(0xFFFE1003u), RC_DEVICE_ERROR);
    EXPECT_EQ(DetailOf(0xFFFE1003u), 0xFFFE);
}

TEST_F(ResultMessages, EveryFinalCodeHasItsText) {
    EXPECT_EQ(MessageOf(MakeResult(RC_SUCCESS), strings), "Device correctly programmed");
    EXPECT_EQ(MessageOf(MakeResult(RC_DEVICE_UNKNOWN), strings), "Unknown device");
    EXPECT_EQ(MessageOf(MakeResult(RC_NO_DEVICE), strings),
              "No device detected on any serial port");
    EXPECT_EQ(MessageOf(MakeResult(RC_WRONG_DEVICE), strings),
              "Wrong device detected on serial port");
    EXPECT_EQ(MessageOf(MakeResult(RC_INTERRUPTED), strings), "Programming interrupted");
    EXPECT_EQ(MessageOf(MakeResult(RC_ERASE_FAILED), strings),
              "Device error, unable to erase flash memory");
    EXPECT_EQ(MessageOf(MakeResult(RC_INVALID_IMAGE), strings), "Invalid program file");
    EXPECT_EQ(MessageOf(MakeResult(RC_INVALID_REPLY, 2), strings),
              "Invalid reply received from device");
    EXPECT_EQ(MessageOf(MakeResult(RC_INVALID_REPLY, 5), strings),
              "Invalid reply received from device");
}

TEST_F(ResultMessages, DeviceErrorShowsItsDetailInFourHexDigits) {
    EXPECT_EQ(MessageOf(MakeResult(RC_DEVICE_ERROR, 0xFFFF), strings),
              "Device error - code ffff returned");
    EXPECT_EQ(MessageOf(MakeResult(RC_DEVICE_ERROR, 0), strings),
              "Device error - code 0000 returned");
    EXPECT_EQ(MessageOf(MakeResult(RC_DEVICE_ERROR, 0x00AB), strings),
              "Device error - code 00ab returned");
}

TEST_F(ResultMessages, InternalCodesHaveNoMessage) {
    for (ResultCode code : {RC_FOUND_OS, RC_FOUND_GM, RC_FOUND_TV, RC_SEARCHING, ResultCode{0x0102},
                            ResultCode{0x0106}, ResultCode{0}}) {
        EXPECT_FALSE(MessageOf(MakeResult(code), strings).has_value()) << code;
    }
}

}  // namespace
}  // namespace norvane
