#include "store/reference_index.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "platform/field_text.h"
#include "platform/textfile.h"

namespace tavrel {
namespace {

constexpr std::time_t kSecondsPerDay = 24 * 60 * 60;
constexpr std::size_t kNationalDigits = 11;

bool AllDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// A modem's name as a file name: its settings key, with anything but
// letters, digits, '-' and '_' as '_'.
std::string FileSafe(std::string_view name) {
  std::string safe(name);
  for (char& c : safe) {
    const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '_';
    if (!keep) c = '_';
  }
  return safe.empty() ? "_" : safe;
}

bool AppendSynced(const std::string& path, const std::string& line) {
  MakeDirectory(path.substr(0, path.rfind('/')));
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, line) && ::fdatasync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  return ok;
}

std::string References(const std::vector<int>& references) {
  std::string text;
  for (int reference : references) {
    if (!text.empty()) text += ',';
    text += std::to_string(reference);
  }
  return text;
}

bool IsStatusText(const std::string& text) {
  return text.size() == 2 && std::isxdigit(static_cast<unsigned char>(text[0])) &&
         std::isxdigit(static_cast<unsigned char>(text[1]));
}

}  // namespace

std::string StatusText(std::uint8_t status) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", status);
  return text;
}

std::optional<std::vector<int>> ParseReferences(std::string_view text) {
  std::vector<int> references;
  while (!text.empty()) {
    const std::size_t comma = text.find(',');
    const std::string_view piece = text.substr(0, comma);
    if (!AllDigits(piece) || piece.size() > 3) return std::nullopt;
    references.push_back(static_cast<int>(AtoL(piece)));
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  if (references.empty()) return std::nullopt;
  return references;
}

std::string NationalNumber(std::string_view number) {
  std::string_view digits = number;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  if (digits.size() == 2 + kNationalDigits && digits.starts_with("86") && AllDigits(digits)) {
    return std::string(digits.substr(2));
  }
  return std::string(number);
}

int TakeConcatReference(const Station& station, std::string_view modem, bool* kept) {
  const std::string folder = station.Path(kConcatFolder);
  const std::string path = folder + "/" + FileSafe(modem);
  const std::optional<std::string> last = ReadFileBytes(path);
  const int next = static_cast<int>((static_cast<unsigned long>(last ? AtoL(*last) : 0) + 1) % 256);
  MakeDirectory(station.Path("state"));
  MakeDirectory(folder);
  *kept = ReplaceFile(path, std::to_string(next), Durability::Flushed);
  return next;
}

bool SentMessage::Complete() const {
  return !statuses.empty() &&
         std::all_of(statuses.begin(), statuses.end(), [](const auto& s) { return s.has_value(); });
}

ReferenceIndex::ReferenceIndex(const Station& station, std::time_t now)
    : path_(station.Path(kReferencesFile)), now_(now) {
  const std::optional<std::string> bytes = ReadFileBytes(path_);
  if (!bytes) return;
  std::istringstream lines(*bytes);
  std::string line;
  std::string kept;
  bool dropped = !bytes->empty() && bytes->back() != '\n';  // an append cut by a crash
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string kind;
    long long when = 0;
    fields >> kind >> when;
    const bool recent = when + kReferenceDays * kSecondsPerDay >= now_;
    const bool taken =
        recent && ((kind == "S" && TakeSent(fields, when)) || (kind == "R" && TakeReport(fields)));
    if (!taken) {
      dropped = true;
      continue;
    }
    kept += line + "\n";
  }
  if (dropped) ReplaceFile(path_, kept, Durability::Flushed);
}

bool ReferenceIndex::TakeSent(std::istream& fields, long long when) {
  SentMessage message;
  std::string references;
  if (!(fields >> message.modem >> message.number >> message.day >> message.record >>
        message.index >> references)) {
    return false;
  }
  std::optional<std::vector<int>> parsed = ParseReferences(references);
  if (!parsed) return false;
  message.references = std::move(*parsed);
  message.statuses.resize(message.references.size());
  message.sent = static_cast<std::time_t>(when);
  messages_.push_back(std::move(message));
  return true;
}

bool ReferenceIndex::TakeReport(std::istream& fields) {
  std::string day, status;
  long record = 0, index = 0;
  std::size_t part = 0;
  int reference = -1;
  if (!(fields >> day >> record >> index >> part >> reference >> status) || part < 1 ||
      !IsStatusText(status)) {
    return false;
  }
  for (auto m = messages_.rbegin(); m != messages_.rend(); ++m) {
    if (m->day == day && m->record == record && m->index == index && part <= m->references.size() &&
        m->references[part - 1] == reference) {
      m->statuses[part - 1] = static_cast<std::uint8_t>(std::strtoul(status.c_str(), nullptr, 16));
      return true;
    }
  }
  return false;
}

bool ReferenceIndex::Append(const std::string& line) { return AppendSynced(path_, line); }

bool NoteSentMessage(const Station& station, std::time_t now, const SentMessage& message) {
  const std::string line =
      "S " + std::to_string(static_cast<long long>(now)) + " " + FileSafe(message.modem) + " " +
      NationalNumber(message.number) + " " + message.day + " " + std::to_string(message.record) +
      " " + std::to_string(message.index) + " " + References(message.references) + "\n";
  return AppendSynced(station.Path(kReferencesFile), line);
}

std::optional<ReportMatch> ReferenceIndex::Find(std::string_view modem, int reference,
                                                std::string_view number) const {
  const std::string safe = FileSafe(modem);
  const std::string national = NationalNumber(number);
  for (std::size_t m = messages_.size(); m-- > 0;) {
    const SentMessage& message = messages_[m];
    if (message.modem != safe || message.number != national) continue;
    const auto part = std::find(message.references.begin(), message.references.end(), reference);
    if (part != message.references.end()) {
      return ReportMatch{m, static_cast<std::size_t>(part - message.references.begin())};
    }
  }
  return std::nullopt;
}

bool ReferenceIndex::NoteReport(const ReportMatch& match, std::uint8_t status) {
  SentMessage& message = messages_[match.message];
  const std::string line = "R " + std::to_string(static_cast<long long>(now_)) + " " + message.day +
                           " " + std::to_string(message.record) + " " +
                           std::to_string(message.index) + " " + std::to_string(match.part + 1) +
                           " " + std::to_string(message.references[match.part]) + " " +
                           StatusText(status) + "\n";
  if (!Append(line)) return false;
  message.statuses[match.part] = status;
  return true;
}

}  // namespace tavrel
