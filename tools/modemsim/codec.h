#pragma once
// Building blocks of the SMS codec: hex text, semi-octets, the GSM 7-bit
// default alphabet and its packing, UCS-2 and UTF-8. Pure functions, no I/O.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace modemsim {

using Bytes = std::vector<std::uint8_t>;

// Upper-case hex, two digits per octet.
std::string ToHex(const Bytes& bytes);
// Whole-string parse; on failure `error` says which character is wrong.
std::optional<Bytes> FromHex(std::string_view hex, std::string* error = nullptr);

// TS 23.040 9.1.2.3: digits 0-9, '*', '#', 'a', 'b', 'c' as semi-octets,
// low nibble first, an odd count filled up with F.
Bytes PackSemiOctets(std::string_view digits);
// `count` semi-octets; a filler F where a digit is expected gives '?'.
std::string UnpackSemiOctets(const Bytes& octets, std::size_t count);

// TS 23.038 6.2.1: code points to septets of the default alphabet, using the
// extension table through the escape septet; nullopt when a character has
// no form there.
std::optional<Bytes> ToGsm7(std::u32string_view text);
// Septets to code points; an escape before an unknown code shows the main
// table's character, as TS 23.038 6.2.1.1 asks of receivers.
std::u32string FromGsm7(const Bytes& septets);

// TS 23.038 6.1.2.1.1: septets packed into octets, after `fill_bits` zero
// bits that align them behind a user-data header.
Bytes PackSeptets(const Bytes& septets, int fill_bits = 0);
Bytes UnpackSeptets(const Bytes& octets, std::size_t count, int fill_bits = 0);

// UTF-16 big endian, surrogate pairs for characters beyond the BMP.
Bytes ToUcs2(std::u32string_view text);
// Lone surrogates become U+FFFD; an odd trailing octet is the caller's error.
std::u32string FromUcs2(const Bytes& octets);

// Invalid sequences become U+FFFD, one per offending byte.
std::u32string FromUtf8(std::string_view text);
std::string ToUtf8(std::u32string_view text);

}  // namespace modemsim
