#include "platform/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace tavrel {
namespace {

// glibc's CP936 table matches the Windows one (0x80 is the euro sign). No
// //TRANSLIT or //IGNORE: both depend on the locale or drop bytes silently,
// where the system's policy is one '?' per unconvertible code point.
constexpr const char* kGbkName = "CP936";

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (Ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool Ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts in to out. skip(rest) says how many input bytes one unconvertible
  // code point takes when it starts at rest; replacement is what stands for it.
  template <typename Skip>
  std::string Run(const char* in, std::size_t in_len, const std::string& replacement,
                  Skip skip) {
    std::string out;
    if (!Ok()) return out;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char buffer[1024];
    char* src = const_cast<char*>(in);
    std::size_t left = in_len;
    while (left > 0) {
      char* dst = buffer;
      std::size_t room = sizeof buffer;
      std::size_t rc = iconv(cd_, &src, &left, &dst, &room);
      out.append(buffer, static_cast<std::size_t>(dst - buffer));
      if (rc != static_cast<std::size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL: one replacement, one code point skipped.
      out += replacement;
      std::size_t n = skip(reinterpret_cast<const unsigned char*>(src), left);
      if (n == 0 || n > left) n = left;
      src += n;
      left -= n;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  iconv_t cd_;
};

// Descriptors are per thread: iconv_t keeps shift state and is not shareable.
Converter& GbkDecoder() {
  thread_local Converter c("UTF-16LE", kGbkName);
  return c;
}
Converter& GbkEncoder16() {
  thread_local Converter c(kGbkName, "UTF-16LE");
  return c;
}
Converter& GbkToUtf8Converter() {
  thread_local Converter c("UTF-8", kGbkName);
  return c;
}
Converter& Utf8ToGbkConverter() {
  thread_local Converter c(kGbkName, "UTF-8");
  return c;
}

bool IsGbkTrail(unsigned char b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

// A lead byte with a valid trail byte is one (unknown) character of two bytes;
// anything else is one byte.
std::size_t GbkCodePointLength(const unsigned char* p, std::size_t left) {
  if (left >= 2 && IsGbkLeadByte(static_cast<char>(p[0])) && IsGbkTrail(p[1])) return 2;
  return 1;
}

std::size_t Utf16LeCodePointLength(const unsigned char* p, std::size_t left) {
  if (left < 2) return left;
  unsigned unit = p[0] | (p[1] << 8);
  if (unit >= 0xD800 && unit <= 0xDBFF && left >= 4) {
    unsigned next = p[2] | (p[3] << 8);
    if (next >= 0xDC00 && next <= 0xDFFF) return 4;
  }
  return 2;
}

std::size_t Utf8CodePointLength(const unsigned char* p, std::size_t left) {
  std::size_t n = 1;
  if (p[0] >= 0xC2 && p[0] <= 0xDF) n = 2;
  else if (p[0] >= 0xE0 && p[0] <= 0xEF) n = 3;
  else if (p[0] >= 0xF0 && p[0] <= 0xF4) n = 4;
  std::size_t present = n < left ? n : left;  // a sequence cut short is one code point
  for (std::size_t i = 1; i < present; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 1;
  }
  return present;
}

std::u16string FromUtf16Le(const std::string& bytes) {
  std::u16string out(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  return out;
}

std::string ToUtf16Le(std::u16string_view text) {
  std::string out(text.size() * 2, '\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    out[2 * i] = static_cast<char>(text[i] & 0xFF);
    out[2 * i + 1] = static_cast<char>(text[i] >> 8);
  }
  return out;
}

const std::string kQuestionUtf16Le("?\0", 2);

}  // namespace

std::u16string GbkToUtf16(std::string_view gbk) {
  return FromUtf16Le(
      GbkDecoder().Run(gbk.data(), gbk.size(), kQuestionUtf16Le, GbkCodePointLength));
}

std::string Utf16ToGbk(std::u16string_view utf16) {
  std::string bytes = ToUtf16Le(utf16);
  return GbkEncoder16().Run(bytes.data(), bytes.size(), "?", Utf16LeCodePointLength);
}

std::string GbkToUtf8(std::string_view gbk) {
  return GbkToUtf8Converter().Run(gbk.data(), gbk.size(), "?", GbkCodePointLength);
}

std::string Utf8ToGbk(std::string_view utf8) {
  return Utf8ToGbkConverter().Run(utf8.data(), utf8.size(), "?", Utf8CodePointLength);
}

std::string Gbk(std::string_view utf8_literal) { return Utf8ToGbk(utf8_literal); }

bool IsGbkLeadByte(char byte) {
  const auto b = static_cast<unsigned char>(byte);
  return b >= 0x81 && b <= 0xFE;
}

std::string FoldAsciiCase(std::string_view gbk) {
  std::string out(gbk);
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (IsGbkLeadByte(out[i]) && i + 1 < out.size()) {
      ++i;
    } else if (out[i] >= 'A' && out[i] <= 'Z') {
      out[i] = static_cast<char>(out[i] - 'A' + 'a');
    }
  }
  return out;
}

}  // namespace tavrel
