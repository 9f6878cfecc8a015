#pragma once
// The GSM 7-bit default alphabet of TS 23.038: septet packing and the
// mapping of the default table and its extension table to Unicode.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

// TS 23.038 6.1.2.1.1: the first count septets packed into octets, septet i
// starting at bit 7i; fewer when the octets hold fewer.
std::vector<std::uint8_t> UnpackSeptets(std::span<const std::uint8_t> octets, std::size_t count);

// TS 23.038 6.2.1 and 6.2.1.1: septets to UTF-16. An escape (1B) takes the
// next septet from the extension table; one the table lacks is read from the
// default table, as the standard asks of a receiver. An escape at the end and
// a pair of escapes read as a blank, the page break as a line end, so that no
// control character other than CR and LF comes out.
std::u16string Gsm7ToUtf16(std::span<const std::uint8_t> septets);

// The reverse, for sending: every character as its septet of the default
// table, or as ESC and its septet of the extension table. nullopt when a
// character is in neither, so the text must go as UCS-2.
std::optional<std::vector<std::uint8_t>> Utf16ToGsm7(std::u16string_view text);

// TS 23.038 6.1.2.1.1 packing, after fill_bits zero bits: the fill that
// aligns the septets to a septet boundary behind a user-data header
// (TS 23.040 9.2.3.24).
std::vector<std::uint8_t> PackSeptets(std::span<const std::uint8_t> septets,
                                      unsigned fill_bits = 0);

}  // namespace tavrel
