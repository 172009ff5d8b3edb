#pragma once
// A set over a small enumeration (at most 32 values), as the components' option properties and
// attribute sets use it. Values beyond Last stay out of the set.

#include <cstdint>
#include <initializer_list>

namespace pw::framework {

template <typename E, E Last>
class TEnumSet {
    static_assert(static_cast<unsigned>(Last) < 32, "a set holds at most 32 values");

  public:
    constexpr TEnumSet() = default;
    constexpr TEnumSet(std::initializer_list<E> items) {
        for (E e : items)
            Include(e);
    }

    constexpr TEnumSet& Include(E e) {
        bits_ |= Bit(e);
        return *this;
    }
    constexpr TEnumSet& Exclude(E e) {
        bits_ &= ~Bit(e);
        return *this;
    }
    constexpr bool Contains(E e) const { return (bits_ & Bit(e)) != 0; }
    constexpr bool Empty() const { return bits_ == 0; }

    constexpr bool operator==(const TEnumSet&) const = default;

  private:
    static constexpr std::uint32_t Bit(E e) {
        const auto v = static_cast<unsigned>(e);
        return v <= static_cast<unsigned>(Last) ? std::uint32_t{1} << v : 0;
    }
    std::uint32_t bits_ = 0;
};

}  // namespace pw::framework
