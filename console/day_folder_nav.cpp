#include "console/day_folder_nav.h"

#include <cstdio>

#include "store/text.h"

namespace tavrel::console {
namespace {

struct Date {
  long year;
  long month;
  long day;
};

// The edit's text with one '-' appended, cut at '-': a field that is not
// there reads as the whole text, as the buttons always did.
Date ParseDate(std::string_view edit_text) {
  const std::string text = std::string(edit_text) + "-";
  return {AtoL(SplitField(text, 1, '-').field), AtoL(SplitField(text, 2, '-').field),
          AtoL(SplitField(text, 3, '-').field)};
}

std::string FormatDate(const Date& date, const std::string& today) {
  if (date.year < 1000) return today;
  char text[80];
  std::snprintf(text, sizeof text, "%4ld-%ld-%ld", date.year, date.month, date.day);
  return text;
}

bool IsThirtyDayMonth(long month) { return month == 4 || month == 6 || month == 9 || month == 11; }

}  // namespace

std::string StepDayBack(std::string_view edit_text, const std::string& today) {
  if (edit_text.size() > kMaxDateTextBytes) return today;
  Date date = ParseDate(edit_text);
  date.day -= 1;
  if (date.day <= 0) {
    date.month -= 1;
    date.day = date.month == 2 ? 29 : IsThirtyDayMonth(date.month) ? 30 : 31;
    if (date.month <= 0) {
      date.month = 12;
      date.year -= 1;
    }
  }
  return FormatDate(date, today);
}

std::string StepDayForward(std::string_view edit_text, const std::string& today) {
  if (edit_text.size() > kMaxDateTextBytes) return today;
  Date date = ParseDate(edit_text);
  date.day += 1;
  bool month_moved = false;
  auto next_month = [&] {
    date.day = 1;
    date.month += 1;
    month_moved = true;
  };
  if (date.month == 2 && date.day > 29) next_month();
  if (IsThirtyDayMonth(date.month) && date.day > 30) next_month();
  if (date.day > 31) next_month();
  if (month_moved && date.month > 12) {
    date.month = 1;
    date.year += 1;
  }
  return FormatDate(date, today);
}

bool IsDayFolderName(std::string_view text) {
  if (text.empty() || text.size() > kMaxDateTextBytes) return false;
  int dashes = 0;
  bool digit_before = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      digit_before = true;
    } else if (c == '-' && digit_before && dashes < 2) {
      ++dashes;
      digit_before = false;
    } else {
      return false;
    }
  }
  return dashes == 2 && digit_before;
}

std::string ChosenDay(std::string_view edit_text, const std::string& today) {
  return IsDayFolderName(edit_text) ? std::string(edit_text) : today;
}

}  // namespace tavrel::console
