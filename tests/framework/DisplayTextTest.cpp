// Which bytes count as UTF-8 for display, and how the header of an image gives its size.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/DisplayText.h"
#include "framework/ImageInfo.h"

namespace pw::test {
namespace {

using framework::CodePageToDisplay;
using framework::DisplayLength;
using framework::ImageFileSize;
using framework::IsValidUtf8;
using framework::TImageSize;

TEST(DisplayText, OnlyWellFormedUtf8IsShownAsUtf8) {
    const struct {
        std::string bytes;
        bool utf8;
        std::size_t length;
    } cases[] = {
        {"", true, 0},
        {"Relift", true, 6},
        {"\xD0\x9F\xD1\x80\xD0\xB8", true, 3},  // Cyrillic
        {"\xE4\xB8\x8B\xE8\xBD\xBD", true, 2},  // Chinese
        {"\xF0\x9F\x98\x80", true, 1},          // beyond the basic plane
        {"\xEF\xBF\xBD", true, 1},              // the replacement character itself
        {"Gr\xFC\xDF"
         "e",
         false, 5},                      // Latin-1
        {"\xFC", false, 1},              // a lead byte alone
        {"\xC3", false, 1},              // cut short
        {"\xE4\xB8", false, 2},          // cut short
        {"\x80", false, 1},              // a stray continuation byte
        {"\xC0\xAF", false, 2},          // overlong '/'
        {"\xE0\x80\xAF", false, 3},      // overlong '/'
        {"\xED\xA0\x80", false, 3},      // a surrogate
        {"\xF4\x90\x80\x80", false, 4},  // beyond U+10FFFF
        {"\xF5\x80\x80\x80", false, 4},
        {"\xC3\xBC\xFC", false, 3},         // good, then bad: all bytes
        {std::string("a\0b", 3), true, 3},  // a NUL is a character
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsValidUtf8(c.bytes), c.utf8) << testing::PrintToString(c.bytes);
        EXPECT_EQ(DisplayLength(c.bytes), c.length) << testing::PrintToString(c.bytes);
    }
}

// A user's entry joined to a message must show as typed, even when its bytes happen to spell
// UTF-8 (the message as a whole would then be read as UTF-8).
TEST(DisplayText, CodePageTextsBecomeTheUtf8OfTheirLatin1Characters) {
    const struct {
        std::string bytes;
        std::string display;
    } cases[] = {
        {"", ""},
        {"in stock", "in stock"},
        {"caf\xE9", "caf\xC3\xA9"},
        {"\xC3\xA9", "\xC3\x83\xC2\xA9"},  // looks like UTF-8, is two characters
        {"\x80\xFF", "\xC2\x80\xC3\xBF"},
        {std::string("a\0b", 3), std::string("a\0b", 3)},
    };
    for (const auto& c : cases) {
        const std::string display = CodePageToDisplay(c.bytes);
        EXPECT_EQ(display, c.display) << testing::PrintToString(c.bytes);
        EXPECT_TRUE(IsValidUtf8(display));
        EXPECT_EQ(DisplayLength(display), c.bytes.size());
    }
}

std::vector<unsigned char> Bytes(std::initializer_list<int> values) {
    std::vector<unsigned char> b;
    for (int v : values)
        b.push_back(static_cast<unsigned char>(v));
    return b;
}

// A PNG's signature and IHDR chunk start, with the given size.
std::vector<unsigned char> PngHeader(unsigned width, unsigned height) {
    std::vector<unsigned char> b =
        Bytes({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'});
    for (unsigned v : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8)
            b.push_back(static_cast<unsigned char>(v >> shift));
    return b;
}

// A BMP's file header and the start of an info header of infoSize bytes.
std::vector<unsigned char> BmpHeader(unsigned infoSize, int width, int height) {
    std::vector<unsigned char> b(14 + 12, 0);
    b[0] = 'B';
    b[1] = 'M';
    const auto put = [&](std::size_t at, unsigned v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            b[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(v >> (8 * i));
    };
    put(14, infoSize, 4);
    if (infoSize == 12) {
        put(18, static_cast<unsigned>(width), 2);
        put(20, static_cast<unsigned>(height), 2);
    } else {
        put(18, static_cast<unsigned>(width), 4);
        put(22, static_cast<unsigned>(height), 4);
    }
    return b;
}

TEST(ImageInfo, TheHeaderGivesTheSizeOfPngAndBmpOnly) {
    std::vector<unsigned char> cutPng = PngHeader(32, 32);
    cutPng.pop_back();
    std::vector<unsigned char> notIhdr = PngHeader(32, 32);
    notIhdr[12] = 'X';
    const struct {
        const char* what;
        std::vector<unsigned char> bytes;
        std::optional<TImageSize> size;
    } cases[] = {
        {"png", PngHeader(118, 218), TImageSize{118, 218}},
        {"png of width 0", PngHeader(0, 218), std::nullopt},
        {"png beyond any screen", PngHeader(0x80000000u, 2), std::nullopt},
        {"png cut short", cutPng, std::nullopt},
        {"png without IHDR first", notIhdr, std::nullopt},
        {"bmp", BmpHeader(40, 118, 218), TImageSize{118, 218}},
        {"bmp top-down", BmpHeader(40, 32, -32), TImageSize{32, 32}},
        {"bmp v5 header", BmpHeader(124, 3, 2), TImageSize{3, 2}},
        {"bmp core header", BmpHeader(12, 16, 16), TImageSize{16, 16}},
        {"bmp of unknown header", BmpHeader(20, 16, 16), std::nullopt},
        {"bmp of negative width", BmpHeader(40, -16, 16), std::nullopt},
        {"bmp cut short", Bytes({'B', 'M', 0, 0}), std::nullopt},
        {"text", Bytes({'h', 'e', 'l', 'l', 'o'}), std::nullopt},
        {"nothing", {}, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ImageFileSize(c.bytes), c.size) << c.what;
}

}  // namespace
}  // namespace pw::test
