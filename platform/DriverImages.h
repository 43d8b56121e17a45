// The two flash driver files the program carries and installs at run time.
//
// The real drivers are not ours to ship, so the build carries stand-ins of the same sizes: a text
// banner saying what they are, then deterministic filler. The emulated PC loads a driver only when
// the file placed in the system directory is byte for byte the image carried here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace directide {

inline constexpr size_t kRurSysSize = 17536;     // NT family kernel driver
inline constexpr size_t kVaravoVxdSize = 23692;  // older family virtual device driver

namespace detail {
template <size_t Size>
constexpr std::array<uint8_t, Size> MakeStandIn(std::string_view banner, uint32_t seed) {
    std::array<uint8_t, Size> image{};
    size_t i = 0;
    for (; i < banner.size() && i < Size; ++i)
        image[i] = static_cast<uint8_t>(banner[i]);
    uint32_t state = seed;
    for (; i < Size; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        image[i] = static_cast<uint8_t>(state >> 24);
    }
    return image;
}
}  // namespace detail

inline constexpr std::array<uint8_t, kRurSysSize> kRurSysStandIn = detail::MakeStandIn<kRurSysSize>(
    "BRENVO STAND-IN FOR RUR.SYS: not a driver; the emulated PC loads it in place of the real "
    "flash driver.\r\n",
    0x52555253u);

inline constexpr std::array<uint8_t, kVaravoVxdSize> kVaravoVxdStandIn =
    detail::MakeStandIn<kVaravoVxdSize>(
        "BRENVO STAND-IN FOR VARAVO.VXD: not a driver; the emulated PC loads it in place of the "
        "real flash driver.\r\n",
        0x56585844u);

inline std::span<const uint8_t> CarriedDriverImage(bool ntFamily) {
    return ntFamily ? std::span<const uint8_t>(kRurSysStandIn)
                    : std::span<const uint8_t>(kVaravoVxdStandIn);
}

}  // namespace directide
