// Device bytes on their way to a terminal, a file or a label: nothing a terminal would obey may
// pass, and what is shown reads back as the bytes that came.
#include <gtest/gtest.h>

#include "strings/VisibleText.h"

namespace norvane {
namespace {

TEST(VisibleText, NoByteATerminalWouldObeyPassesAndTextStaysAsItIs) {
    const struct {
        std::string bytes;
        std::string shown;
    } cases[] = {
        {"1234567 ", "1234567 "},
        {"\x1b[2J\x1b[H", "\\x1b[2J\\x1b[H"},  // clear the screen, cursor home
        {"\x1b[8M", "\\x1b[8M"},               // delete lines: ends in a capital letter
        {"a\rb\tc\x7f", "a\\x0db\\x09c\\x7f"},
        {std::string("\0x", 2), "\\x00x"},
        {"\xc2\x9b"
         "2J",
         "\\u009b2J"},  // CSI as a C1 code point in UTF-8
        {"\x9b"
         "2J\xff",
         "\\x9b2J\\xff"},                                    // bytes that are not UTF-8
        {"\xc3\xa8 \xe2\x82\xac", "\xc3\xa8 \xe2\x82\xac"},  // è €
        {"\xe2\x82", "\\xe2\\x82"},                          // cut off
        {"back\\slash", "back\\\\slash"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(VisibleText(c.bytes), c.shown);
    }
    EXPECT_EQ(VisibleLine("1234567 \r\n"), "1234567 ");
    EXPECT_EQ(VisibleLine("12\r34\n"), "12\\x0d34");
    // What an adapter reports of itself is cut at a length, and says so.
    EXPECT_EQ(VisibleText("FT232R USB UART", 64), "FT232R USB UART");
    EXPECT_EQ(VisibleText("ABCDEFGH", 4), "ABCD...");
    EXPECT_EQ(VisibleText(std::string_view("A\0B", 3), 4), "A\\x00B");
}

}  // namespace
}  // namespace norvane
