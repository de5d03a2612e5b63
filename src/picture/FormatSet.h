#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

// The picture formats the tool reads, as the user turns them on. HEIC and AVIF share one decoder. Every
// choice by format is a switch without a default, so a format added here and forgotten somewhere does not
// compile.
enum class PictureFormat { Jpeg, Bmp, Heic, Avif, Webp, Png };
inline constexpr int PictureFormatCount = 6;

// A set of formats: the run counts and converts the files of these.
class FormatSet {
  public:
    constexpr FormatSet() = default;
    // JPEG and BMP: what the tool reads unless told otherwise.
    static constexpr FormatSet Defined() { return FormatSet().With(PictureFormat::Jpeg).With(PictureFormat::Bmp); }
    static constexpr FormatSet All() { return FormatSet(static_cast<uint8_t>((1u << PictureFormatCount) - 1)); }

    constexpr bool Has(PictureFormat format) const { return (bits_ & Bit(format)) != 0; }
    constexpr FormatSet With(PictureFormat format) const { return FormatSet(bits_ | Bit(format)); }
    constexpr bool Empty() const { return bits_ == 0; }
    // Holds a format that `other` does not.
    constexpr bool Beyond(FormatSet other) const { return (bits_ & ~other.bits_) != 0; }
    constexpr bool operator==(const FormatSet&) const = default;

  private:
    constexpr explicit FormatSet(uint8_t bits) : bits_(bits) {}
    static constexpr uint8_t Bit(PictureFormat format) { return static_cast<uint8_t>(1u << static_cast<int>(format)); }
    uint8_t bits_ = 0;
};

// The format's name in a format list ("jpeg", "bmp", "heic", "avif", "webp", "png").
std::string_view FormatKey(PictureFormat format);
// A list such as "jpeg,bmp,png" (names as FormatKey gives them, any letter case, separated by commas,
// blanks around a name allowed); nothing when a name is unknown or the list names none. `unknown` then
// receives the first name that is not a format.
std::optional<FormatSet> ParseFormatList(std::string_view list, std::string* unknown = nullptr);
// The set as a list, in the order of the enumeration: "jpeg,bmp,heic".
std::string FormatListText(FormatSet formats);
// The extensions the report's total counts: "jpg, bmp, heic, avif, webp, png".
std::string CountedExtensionsText(FormatSet formats);

} // namespace quorvane
