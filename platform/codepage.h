#pragma once
// GBK (code page 936) conversions. Whatever cannot be converted becomes '?'
// and one code point is skipped, like the Windows conversion's default.
#include <string>
#include <string_view>

namespace tavrel {

std::u16string GbkToUtf16(std::string_view gbk);
std::string Utf16ToGbk(std::u16string_view utf16);
std::string GbkToUtf8(std::string_view gbk);
std::string Utf8ToGbk(std::string_view utf8);

// A Chinese literal written in UTF-8 source, as the GBK bytes the system uses.
std::string Gbk(std::string_view utf8_literal);

// The first byte of a GBK double-byte character (0x81 to 0xFE).
bool IsGbkLeadByte(char byte);

// ASCII letters lowered, nothing else: a GBK character is kept whole, so a
// trail byte that looks like a capital (0x41 to 0x5A) never folds and two
// different Chinese names never become one.
std::string FoldAsciiCase(std::string_view gbk);

}  // namespace tavrel
