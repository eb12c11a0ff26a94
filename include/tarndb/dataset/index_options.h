// The options of an index: a typed set over primary, unique, descending and
// case-insensitive. One set serves every layer: the creator's index definitions, a loaded
// table's index definitions (TTarnIndexDef), the dataset's index descriptions (TIndexDef)
// and the Options byte of an index entry in a database file.
//
// Users write the flags by name and combine them with |:
//     {"ByName", tiUnique | tiCaseInsensitive, {"Name"}}
// The dataset framework's spelling (ixPrimary ...) names the same flags.
//
// The stored byte: bit 0 primary, bit 1 unique, bit 2 descending, bit 3 case-insensitive.
// Other bits are not interpreted; a set made from a stored byte (FromByte) keeps them, so a
// definition read from a file is written back as it was.
#pragma once

#include <cstdint>

namespace tarn {

enum class TIndexOption : uint8_t {
    Primary = 1,
    Unique = 2,
    Descending = 4,
    CaseInsensitive = 8,
};

class TIndexOptions {
public:
    // The bits the engine interprets.
    static constexpr uint8_t kKnownBits = 0x0F;

    constexpr TIndexOptions() = default;
    constexpr TIndexOptions(TIndexOption option) : bits_(static_cast<uint8_t>(option)) {}

    // The set stored as `byte` (an index entry's Options byte), all bits kept.
    static constexpr TIndexOptions FromByte(uint8_t byte) {
        TIndexOptions o;
        o.bits_ = byte;
        return o;
    }
    // The byte to store.
    constexpr uint8_t Byte() const { return bits_; }

    constexpr bool Has(TIndexOption option) const {
        return (bits_ & static_cast<uint8_t>(option)) != 0;
    }
    constexpr bool Empty() const { return bits_ == 0; }
    // Bits outside the four options (only a stored byte can carry them).
    constexpr bool HasUnknownBits() const { return (bits_ & ~kKnownBits) != 0; }
    // The set without the bits the engine does not interpret.
    constexpr TIndexOptions Known() const { return FromByte(bits_ & kKnownBits); }
    constexpr explicit operator bool() const { return bits_ != 0; }

    friend constexpr TIndexOptions operator|(TIndexOptions a, TIndexOptions b) {
        return FromByte(static_cast<uint8_t>(a.bits_ | b.bits_));
    }
    friend constexpr TIndexOptions operator&(TIndexOptions a, TIndexOptions b) {
        return FromByte(static_cast<uint8_t>(a.bits_ & b.bits_));
    }
    constexpr TIndexOptions& operator|=(TIndexOptions b) { return *this = *this | b; }
    constexpr TIndexOptions& operator&=(TIndexOptions b) { return *this = *this & b; }
    friend constexpr bool operator==(TIndexOptions a, TIndexOptions b) = default;

private:
    uint8_t bits_ = 0;
};

constexpr TIndexOptions operator|(TIndexOption a, TIndexOption b) {
    return TIndexOptions(a) | TIndexOptions(b);
}

inline constexpr TIndexOption tiPrimary = TIndexOption::Primary;
inline constexpr TIndexOption tiUnique = TIndexOption::Unique;
inline constexpr TIndexOption tiDescending = TIndexOption::Descending;
inline constexpr TIndexOption tiCaseInsensitive = TIndexOption::CaseInsensitive;

inline constexpr TIndexOption ixPrimary = tiPrimary;
inline constexpr TIndexOption ixUnique = tiUnique;
inline constexpr TIndexOption ixDescending = tiDescending;
inline constexpr TIndexOption ixCaseInsensitive = tiCaseInsensitive;

}  // namespace tarn
