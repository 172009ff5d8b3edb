// Evaluation throughput: the page search on a 100 MB page held in memory, the text at the very
// end, side by side in the same run with the byte-window scan it replaces (one window comparison
// per byte offset) and, as the floor, glibc's memmem. Read bytes_per_second.

#include <string.h>  // memmem (glibc), the floor only

#include <cstddef>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>

#include <benchmark/benchmark.h>

#include "monitor/PageSearch.h"

namespace {

constexpr std::size_t kPageBytes = 100'000'000;

// Search texts a user would type; neither occurs in the page's vocabulary.
const std::string& Text(std::size_t length) {
    static const std::string t8 = "Sold out";
    static const std::string t64 =
        "Currently unavailable: we expect this item back in stock by June";
    if (length == 8) return t8;
    if (length == 64) return t64;
    throw std::invalid_argument("texts of 8 or 64 bytes only");
}

// A shop page's worth of markup and words, repeated in a random order, with `text` at its end.
std::string MakePage(std::string_view text) {
    static const char* const kWords[] = {
        "<div class=\"product\">",
        "</div>\n",
        "<span class=\"price\">",
        "</span>",
        "EUR 12,99",
        "In stock",
        "Add to cart",
        "Delivery in 2-3 days",
        "<a href=\"/shop/item/",
        "\">",
        "</a>",
        "Reviews",
        "Size",
        "Colour",
        "<li>",
        "</li>",
        " ",
        "  ",
        "Gr\xc3\xb6\xc3\x9f"
        "e",
        "currently",
        "available",
        "we",
        "expect",
        "this",
        "item",
        "back",
        "Sale",
        "out,",
    };
    constexpr std::size_t kCount = sizeof kWords / sizeof kWords[0];
    std::mt19937 rng(7);
    std::string page;
    page.reserve(kPageBytes);
    while (page.size() < kPageBytes - text.size())
        page += kWords[rng() % kCount];
    page.resize(kPageBytes - text.size());
    page += text;
    if (page.find(text) != kPageBytes - text.size())
        throw std::logic_error("the text occurs before the page's end");
    return page;
}

// All three must find the text, or the figures compare nothing.
using Search = bool (*)(std::string_view page, std::string_view text);

void Run(benchmark::State& state, const std::string& page, std::string_view text, Search search) {
    // Called through a pointer the compiler cannot see through, so no search (memmem is declared
    // pure) can be hoisted out of the loop.
    Search volatile opaque = search;
    for (auto _ : state) {
        const bool found = opaque(page, text);
        benchmark::DoNotOptimize(found);
        if (!found) {
            state.SkipWithError("the text was not found");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(page.size()));
}

const std::string& Page(std::size_t length) {
    static const std::string p8 = MakePage(Text(8));
    static const std::string p64 = MakePage(Text(64));
    return length == 8 ? p8 : p64;
}

// The scan as the window once did it: every one of the R + 1 windows of the text's length compared
// with the text, never stopping early. The window slides as a view over the page rather than as
// a buffer whose bytes are moved at every step, which only makes this baseline faster.
bool ByteWindowScan(std::string_view page, std::string_view text) {
    const std::size_t l = text.size();
    if (page.size() < l) return false;
    bool found = false;
    for (std::size_t i = 0; i + l <= page.size(); ++i)
        if (page.substr(i, l) == text) found = true;
    return found;
}

void BM_PageContains(benchmark::State& state) {
    const auto length = static_cast<std::size_t>(state.range(0));
    Run(state, Page(length), Text(length), pw::monitor::PageContains);
}

void BM_ByteWindowScan(benchmark::State& state) {
    const auto length = static_cast<std::size_t>(state.range(0));
    Run(state, Page(length), Text(length), ByteWindowScan);
}

void BM_Memmem(benchmark::State& state) {
    const auto length = static_cast<std::size_t>(state.range(0));
    Run(state, Page(length), Text(length), [](std::string_view page, std::string_view text) {
        return ::memmem(page.data(), page.size(), text.data(), text.size()) != nullptr;
    });
}

// A page built to defeat skipping: 100 MB of one byte, the text all but one byte of it. The
// search must stay linear here; memmem shows what a linear worst case costs.
const std::string& RepetitivePage() {
    static const std::string page = [] {
        std::string p(kPageBytes, 'a');
        p[kPageBytes - 64] = 'b';
        return p;
    }();
    return page;
}
const std::string kRepetitiveText = [] {
    std::string t(64, 'a');
    t.front() = 'b';
    return t;
}();

void BM_PageContainsRepetitive(benchmark::State& state) {
    Run(state, RepetitivePage(), kRepetitiveText, pw::monitor::PageContains);
}

void BM_MemmemRepetitive(benchmark::State& state) {
    Run(state, RepetitivePage(), kRepetitiveText, [](std::string_view page, std::string_view text) {
        return ::memmem(page.data(), page.size(), text.data(), text.size()) != nullptr;
    });
}

BENCHMARK(BM_PageContains)->Arg(8)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ByteWindowScan)->Arg(8)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memmem)->Arg(8)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PageContainsRepetitive)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemmemRepetitive)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
