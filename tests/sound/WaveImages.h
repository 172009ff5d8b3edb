#pragma once
// Building wave images byte by byte for the tests.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pw::test::wave {

inline std::string Le(std::uint32_t v, int bytes) {
    std::string s;
    for (int i = 0; i < bytes; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

struct Chunk {
    // claimedSize: the size written in the header, when it is not the body's real size.
    Chunk(std::string id, std::string body, std::optional<std::uint32_t> claimedSize = std::nullopt)
        : id(std::move(id)), body(std::move(body)), claimedSize(claimedSize) {}
    std::string id;
    std::string body;
    std::optional<std::uint32_t> claimedSize;
};

// A "fmt " chunk of 16 bytes with a consistent byte rate and block alignment.
inline Chunk Fmt(std::uint16_t format, std::uint16_t channels, std::uint32_t rate,
                 std::uint16_t bits) {
    const std::uint32_t align = channels * bits / 8;
    return {"fmt ", Le(format, 2) + Le(channels, 2) + Le(rate, 4) + Le(rate * align, 4) +
                        Le(align, 2) + Le(bits, 2)};
}

// "RIFF", its size (computed from the claimed chunk sizes unless given), the form type and the
// chunks, each odd-sized one followed by its pad byte.
inline std::string Riff(const std::vector<Chunk>& chunks, const std::string& form = "WAVE",
                        std::optional<std::uint32_t> riffSize = std::nullopt) {
    std::string body;
    std::uint32_t size = 4;
    for (const Chunk& c : chunks) {
        const std::uint32_t claimed =
            c.claimedSize.value_or(static_cast<std::uint32_t>(c.body.size()));
        body += c.id + Le(claimed, 4) + c.body;
        if (c.body.size() % 2 == 1) body += '\0';
        size += 8 + claimed + (claimed & 1);
    }
    return "RIFF" + Le(riffSize.value_or(size), 4) + form + body;
}

}  // namespace pw::test::wave
