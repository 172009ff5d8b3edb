#include "monitor/PageSearch.h"

#include <array>
#include <cstddef>
#include <cstring>
#include <vector>

namespace pw::monitor {

namespace {

using Byte = unsigned char;

// Knuth-Morris-Pratt: at most 2 * page.size() byte comparisons whatever the input. Used only when
// the skip search below meets a page that defeats it (long runs of near-matches).
bool FindLinear(std::string_view page, std::string_view text) {
    const std::size_t m = text.size();
    // border[i]: length of the longest proper border of text[0..i].
    std::vector<std::size_t> border(m, 0);
    for (std::size_t i = 1, k = 0; i < m; ++i) {
        while (k > 0 && text[i] != text[k])
            k = border[k - 1];
        if (text[i] == text[k]) ++k;
        border[i] = k;
    }
    for (std::size_t i = 0, k = 0; i < page.size(); ++i) {
        while (k > 0 && page[i] != text[k])
            k = border[k - 1];
        if (page[i] == text[k] && ++k == m) return true;
    }
    return false;
}

// Above this many byte comparisons per byte of page passed, the skip search hands over to the
// linear one. Ordinary pages stay far below it (most windows are rejected without a comparison).
constexpr std::size_t kWorkPerByte = 8;

// Windows are judged by their last two bytes, hashed into a small table: pairs are far rarer than
// single bytes, so the window usually moves by almost the text's length.
inline std::size_t PairHash(Byte first, Byte second) {
    return (static_cast<std::size_t>(second) - (static_cast<std::size_t>(first) << 3)) & 0xFF;
}

}  // namespace

bool PageContains(std::string_view page, std::string_view text) {
    const std::size_t m = text.size();
    const std::size_t n = page.size();
    if (m == 0) return true;
    if (n < m) return false;
    if (m == 1) return std::memchr(page.data(), static_cast<Byte>(text[0]), n) != nullptr;

    const Byte* const p = reinterpret_cast<const Byte*>(page.data());
    const Byte* const t = reinterpret_cast<const Byte*>(text.data());

    // endsAt[h]: the text's rightmost pair hashing to h ends at that index (1..m-1); 0 when no
    // pair of the text hashes to h. Pairs are entered left to right, so the rightmost wins.
    const std::size_t m1 = m - 1;
    std::array<std::size_t, 256> endsAt{};
    for (std::size_t i = 1; i < m1; ++i)
        endsAt[PairHash(t[i - 1], t[i])] = i;
    const std::size_t lastHash = PairHash(t[m1 - 1], t[m1]);
    // After a failed comparison the text moves to the previous pair with the last pair's hash.
    const std::size_t failShift = m1 - endsAt[lastHash];
    endsAt[lastHash] = m1;

    // e: index of the current window's last byte. A window whose last pair is not in the text
    // moves by m - 1 at once; that loop does not wait for its table reads, so it runs at the
    // speed of the reads rather than their latency.
    const std::size_t lastEnd = n - 1;
    std::size_t work = 0;  // bytes compared in candidate windows
    std::size_t e = m1;
    for (;;) {
        std::size_t i = 0;
        while (e <= lastEnd && (i = endsAt[PairHash(p[e - 1], p[e])]) == 0)
            e += m1;
        if (e > lastEnd) return false;
        if (i < m1) {  // line the text's pair up with the window's
            e += m1 - i;
            continue;
        }
        const std::size_t start = e - m1;
        std::size_t j = m;
        while (j > 0 && p[start + j - 1] == t[j - 1])
            --j;
        if (j == 0) return true;
        work += m - j;
        // No window starting before `start` holds the text, so the linear search may start there.
        if (work > kWorkPerByte * e) return FindLinear(page.substr(start), text);
        e += failShift;
    }
}

}  // namespace pw::monitor
