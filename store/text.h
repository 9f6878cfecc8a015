#pragma once
// Text helpers shared by the engine, the console, the catalogues and Quillon.
// All texts are GBK bytes. The fields' NUL and atol come with them.
#include <string>
#include <string_view>

#include "platform/field_text.h"

namespace tavrel {

struct SplitResult {
  std::string field;
  int result;  // 0 found, -1 not found (field is then the whole text)
};

// Field k (from 1) of text, closed by separator; a last piece that no
// separator follows is never a field.
SplitResult SplitField(std::string_view text, int k, char separator);

// Cuts text at its first CR, LF or NUL.
void TrimLine(std::string& text);

// GBK text -> UTF-16 units as "%4.4X" each, concatenated.
std::string TextToUcs2Hex(std::string_view gbk);

}  // namespace tavrel
