#pragma once
// How the tool speaks: UTF-8 on the terminal whatever the station's files
// hold, and with --json one JSON document per call on standard output.
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/station.h"

namespace tavrel::cli {

using Json = nlohmann::ordered_json;

// Exit statuses: 0 only on success.
inline constexpr int kOk = 0;
inline constexpr int kRefused = 1;  // the station said no, or a thing is not there
inline constexpr int kUsage = 2;    // the command line is wrong

struct Context {
  Station station;
  bool json = false;
  std::istream& in;
  std::ostream& out;
  std::ostream& err;

  // The document of this call, printed once at the end with --json.
  Json doc = Json::object();

  // Text mode: the line on standard output; JSON mode: nothing (the command
  // fills doc instead).
  void Line(std::string_view utf8) const;
  // The refusal: on standard error, or as {"error": ...} with --json.
  int Fail(std::string_view utf8, int status = kRefused);
};

// GBK of the files -> UTF-8 for the terminal; CR LF becomes LF and control
// bytes show as '?', as the headless programs print them. No line end added.
std::string Utf8(std::string_view gbk);

// UTF-8 of the command line -> GBK for the files, refusing rather than
// replacing: the error names the first character that has no GBK form
// (code page 936; characters only GB18030 has are refused too).
struct GbkText {
  std::string gbk;
  std::string error;  // UTF-8; empty when the whole text converted
};
GbkText ToGbk(std::string_view utf8);

// A line break typed in a terminal is LF; the station's boxes give CR LF.
std::string WithBoxLineBreaks(std::string_view text);

// "2026-12-7" or "2026-12-07" -> the DayFolder name; nullopt when neither.
std::optional<std::string> DayFromArgument(std::string_view text);

}  // namespace tavrel::cli
