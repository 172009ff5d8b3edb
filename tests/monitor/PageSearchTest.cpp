// The page search against the byte-window scan it replaces: same answer on every input.

#include <cstddef>
#include <random>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "monitor/PageSearch.h"

namespace {

using pw::monitor::PageContains;

// The original scan, step by step: a window of the text's length slides over the page one byte
// at a time, every window is compared, the scan never stops early.
bool ByteWindowScan(std::string_view page, std::string_view text) {
    const std::size_t l = text.size();
    std::string w(page.substr(0, l));  // the first L bytes, fewer if the page is shorter
    bool found = (w == text);
    if (page.size() > l) {
        for (std::size_t i = l; i < page.size(); ++i) {
            w.erase(0, 1);
            w.push_back(page[i]);
            if (w == text) found = true;
        }
    }
    return found;
}

TEST(PageSearch, EdgeCasesOfTheByteWindowScan) {
    // Empty text: found in any page, the empty one too.
    EXPECT_TRUE(PageContains("", ""));
    EXPECT_TRUE(PageContains("<html>", ""));
    // Page shorter than the text, even when it is the text's prefix.
    EXPECT_FALSE(PageContains("", "a"));
    EXPECT_FALSE(PageContains("Sold o", "Sold out"));
    // The page is the text; the text is the page's very last bytes; the first bytes.
    EXPECT_TRUE(PageContains("Sold out", "Sold out"));
    EXPECT_TRUE(PageContains("<p>Item is Sold out", "Sold out"));
    EXPECT_TRUE(PageContains("Sold out.</p>", "Sold out"));
    EXPECT_TRUE(PageContains("xyz!", "!"));
    // No case folding, in either direction.
    EXPECT_FALSE(PageContains("<p>SOLD OUT</p>", "Sold out"));
    EXPECT_FALSE(PageContains("<p>sold out</p>", "Sold Out"));
    // Bytes >= 0x80 compared raw: UTF-8 and Latin-1 forms of the same letter differ.
    EXPECT_TRUE(
        PageContains("Preis: 12 \xe2\x82\xac, gr\xc3\xb6\xc3\x9f"
                     "er",
                     "gr\xc3\xb6\xc3\x9f"));
    EXPECT_FALSE(
        PageContains("gr\xc3\xb6\xc3\x9f"
                     "er",
                     "gr\xf6\xdf"));
    EXPECT_TRUE(
        PageContains(std::string_view("\xff\x00\x80\xff", 4), std::string_view("\x00\x80", 2)));
    // Embedded zero bytes are page bytes like any other.
    EXPECT_FALSE(PageContains(std::string_view("ab\0cd", 5), "abcd"));
    // A near miss at the end, and several occurrences.
    EXPECT_FALSE(PageContains("Sold ou", "Sold out"));
    EXPECT_FALSE(PageContains("xxSold oux", "Sold out"));
    EXPECT_TRUE(PageContains("Sold out Sold out Sold out", "Sold out"));
}

// Pages and texts drawn from tiny alphabets, some heavily skewed, so that matches, near matches
// and overlapping partial matches are frequent (the skewed ones also push the search past its
// skipping strategy); a third of the texts are cut from the page itself, at any offset including
// the last.
TEST(PageSearch, AgreesWithTheByteWindowScanOnRandomInput) {
    const std::string alphabets[] = {
        "a",
        "ab",
        "abc",
        "aaaab",
        std::string(40, 'a') + "b",
        std::string("\x80\xff\x00", 3),
        "aA",
        "\xc3\xa4\xb6"
        "a",
    };
    std::mt19937 rng(20240611);
    auto below = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n)(rng);
    };
    int found = 0;
    int cases = 0;
    for (const std::string& alphabet : alphabets) {
        auto draw = [&](std::size_t n) {
            std::string s(n, '\0');
            for (char& c : s)
                c = alphabet[below(alphabet.size() - 1)];
            return s;
        };
        for (int i = 0; i < 4000; ++i) {
            const std::size_t pageLength = below(i % 10 == 0 ? 3000 : 120);
            const std::string page = draw(pageLength);
            std::string text;
            if (i % 3 == 0 && !page.empty()) {
                const std::size_t len = 1 + below(std::min<std::size_t>(page.size(), 40) - 1);
                const std::size_t at = (i % 2) ? page.size() - len : below(page.size() - len);
                text = page.substr(at, len);
                if (i % 6 == 3) text.back() = alphabet[below(alphabet.size() - 1)];
            } else {
                text = draw(below(i % 7 == 0 ? 60 : 12));
            }
            const bool expected = ByteWindowScan(page, text);
            ASSERT_EQ(PageContains(page, text), expected)
                << "alphabet size " << alphabet.size() << ", page " << page.size()
                << " bytes, text " << text.size() << " bytes: \"" << text << "\"";
            found += expected;
            ++cases;
        }
    }
    // Both answers must be well represented, or the comparison proves little.
    EXPECT_GT(found, cases / 5);
    EXPECT_LT(found, cases * 4 / 5);
}

// Pages that defeat skipping (long runs of one byte, texts that match all but one byte)
// make the search change strategy part-way; the answer must not change with it.
TEST(PageSearch, AgreesOnPagesOfLongNearMatches) {
    const std::string run(20000, 'a');
    for (std::size_t m : {2u, 9u, 10u, 33u, 500u}) {
        const std::string head = "b" + std::string(m - 1, 'a');
        const std::string tail = std::string(m - 1, 'a') + "b";
        const std::string middle = std::string(m / 2, 'a') + "b" + std::string(m - 1 - m / 2, 'a');
        for (const std::string& text : {head, tail, middle}) {
            for (const std::string& page : {run, run + text, text + run, run + text + run,
                                            run + text.substr(0, m - 1), run + "b" + run}) {
                ASSERT_EQ(PageContains(page, text), ByteWindowScan(page, text))
                    << "text of " << m << " bytes, page of " << page.size() << " bytes";
            }
        }
    }
}

}  // namespace
