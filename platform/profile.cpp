#include "platform/profile.h"

#include <vector>

#include "platform/codepage.h"
#include "platform/textfile.h"

namespace tavrel {
namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view Trim(std::string_view s) {
  std::size_t first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  std::size_t last = s.find_last_not_of(kBlanks);
  return s.substr(first, last - first + 1);
}

// Only ASCII letters fold, as on Windows where the files began.
bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && FoldAsciiCase(a) == FoldAsciiCase(b);
}

// What one line of a profile file says; views into the line's bytes.
struct LineMeaning {
  enum Kind { kOther, kSection, kKey } kind = kOther;
  std::string_view name;   // section or key name
  std::string_view value;  // key value
};

LineMeaning Classify(std::string_view text) {
  LineMeaning m;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  text = Trim(text);
  if (text.empty() || text.front() == ';') return m;
  if (text.front() == '[') {
    std::string_view inner = text.substr(1);
    std::size_t close = inner.find(']');
    if (close != std::string_view::npos) inner = inner.substr(0, close);
    m.kind = LineMeaning::kSection;
    m.name = Trim(inner);
    return m;
  }
  std::size_t eq = text.find('=');
  if (eq == std::string_view::npos) return m;
  m.kind = LineMeaning::kKey;
  m.name = Trim(text.substr(0, eq));
  m.value = Trim(text.substr(eq + 1));
  return m;
}

// Calls visit(index, line, meaning) for each line until visit returns false.
template <typename Visit>
void ForEachLine(std::string_view bytes, Visit visit) {
  std::size_t start = 0;
  for (std::size_t i = 0; start < bytes.size(); ++i) {
    std::size_t end = bytes.find('\n', start);
    end = (end == std::string_view::npos) ? bytes.size() : end + 1;
    std::string_view line = bytes.substr(start, end - start);
    if (!visit(i, line, Classify(line))) return;
    start = end;
  }
}

struct Place {
  bool section_found = false;
  std::size_t section = 0;                      // index of the section line
  std::size_t after_last_key = 0;               // where a new key goes
  std::size_t key = static_cast<std::size_t>(-1);  // index of the key line
  bool KeyFound() const { return key != static_cast<std::size_t>(-1); }
};

// The first section of that name wins, and within it the first key.
Place Locate(std::string_view bytes, std::string_view section, std::string_view key,
             std::string_view* value = nullptr) {
  Place place;
  bool inside = false;
  ForEachLine(bytes, [&](std::size_t i, std::string_view, const LineMeaning& m) {
    if (m.kind == LineMeaning::kSection) {
      if (inside) return false;
      if (SameName(m.name, section)) {
        inside = true;
        place.section_found = true;
        place.section = i;
        place.after_last_key = i + 1;
      }
    } else if (inside && m.kind == LineMeaning::kKey) {
      place.after_last_key = i + 1;
      if (!place.KeyFound() && SameName(m.name, key)) {
        place.key = i;
        if (value != nullptr) {
          *value = m.value;
          return false;  // a reader needs no more
        }
      }
    }
    return true;
  });
  return place;
}

std::string CutToField(std::string_view value, std::size_t field_size) {
  if (field_size == 0) return {};
  return std::string(value.substr(0, field_size - 1));
}

void EnsureLineEnd(std::string& raw) {
  if (!raw.empty() && raw.back() != '\n') raw += "\r\n";
}

}  // namespace

std::string GetProfileString(std::string_view section, std::string_view key,
                             std::string_view default_value, std::size_t field_size,
                             const std::string& path) {
  std::optional<std::string> bytes = ReadFileBytes(path);
  std::string_view found = default_value;
  if (bytes) Locate(*bytes, section, key, &found);
  return CutToField(found, field_size);
}

ProfileSection::ProfileSection(std::string_view text, std::string_view section) {
  bool inside = false;
  ForEachLine(text, [&](std::size_t, std::string_view, const LineMeaning& m) {
    if (m.kind == LineMeaning::kSection) {
      if (inside) return false;
      inside = SameName(m.name, section);
    } else if (inside && m.kind == LineMeaning::kKey) {
      values_.try_emplace(FoldAsciiCase(m.name), m.value);
    }
    return true;
  });
}

std::string ProfileSection::Value(std::string_view key, std::string_view default_value,
                                  std::size_t field_size) const {
  auto found = values_.find(FoldAsciiCase(key));
  return CutToField(found == values_.end() ? default_value : std::string_view(found->second),
                    field_size);
}

bool WriteProfileString(std::string_view section, std::string_view key,
                        std::optional<std::string_view> value, const std::string& path) {
  std::optional<std::string> bytes = ReadFileBytes(path);
  bool existed = bytes.has_value();
  if (!existed) {
    if (FileExists(path)) return false;  // there but unreadable: leave it alone
    if (!value) return true;             // nothing to remove
  }
  std::vector<std::string> lines;
  std::string_view text = existed ? std::string_view(*bytes) : std::string_view();
  ForEachLine(text, [&](std::size_t, std::string_view line, const LineMeaning&) {
    lines.emplace_back(line);
    return true;
  });
  Place place = Locate(text, section, key);
  auto at = [&](std::size_t i) { return lines.begin() + static_cast<std::ptrdiff_t>(i); };

  if (!value) {
    if (!place.KeyFound()) return true;
    lines.erase(at(place.key));
  } else if (place.KeyFound()) {
    // The line keeps the name as first written; only the value changes.
    std::string name(Classify(lines[place.key]).name);
    lines[place.key] = name + "=" + std::string(*value) + "\r\n";
  } else if (place.section_found) {
    EnsureLineEnd(lines[place.after_last_key - 1]);
    lines.insert(at(place.after_last_key), std::string(key) + "=" + std::string(*value) + "\r\n");
  } else {
    if (!lines.empty()) EnsureLineEnd(lines.back());
    lines.push_back("[" + std::string(section) + "]\r\n");
    lines.push_back(std::string(key) + "=" + std::string(*value) + "\r\n");
  }
  std::string out;
  out.reserve(text.size() + key.size() + (value ? value->size() : 0) + 16);
  for (const std::string& line : lines) out += line;
  // Readers in other threads and in the other program see the old file or
  // the new one, never a half-written one.
  return ReplaceFile(path, out);
}

}  // namespace tavrel
