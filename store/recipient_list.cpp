#include "store/recipient_list.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/field_text.h"
#include "platform/textfile.h"
#include "store/record_store.h"
#include "store/text.h"

namespace tavrel {
namespace {

constexpr std::size_t kReadPiece = 64 * 1024;

// Where the next piece in bytes[at..] ends, or npos when more bytes must be
// read first to know.
std::size_t PieceEnd(std::string_view bytes, std::size_t at, bool at_end) {
  const std::size_t piece = kRecipientLineField - 1;
  const std::size_t lf = bytes.find('\n', at);
  if (lf != std::string_view::npos && lf + 1 - at <= piece) return lf + 1;
  if (bytes.size() - at >= piece) return at + piece;
  return at_end ? bytes.size() : std::string_view::npos;
}

}  // namespace

std::vector<std::string> RecipientLines(std::string_view content) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < content.size();) {
    const std::size_t end = PieceEnd(content, at, true);
    lines.emplace_back(UpToNul(content.substr(at, end - at)));
    at = end;
  }
  return lines;
}

std::string RecipientKey(std::string_view line) {
  std::string key = SplitField(line, 1, ';').field;
  TrimLine(key);
  return key;
}

RecipientReader::RecipientReader(const std::string& path)
    : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}

RecipientReader::~RecipientReader() {
  if (fd_ >= 0) ::close(fd_);
}

std::optional<std::string> RecipientReader::Next() {
  for (;;) {
    const std::size_t end = PieceEnd(buffer_, at_, eof_);
    if (end != std::string::npos && end > at_) {
      std::string piece(UpToNul(std::string_view(buffer_).substr(at_, end - at_)));
      at_ = end;
      return piece;
    }
    if (eof_) return std::nullopt;
    Fill();
  }
}

void RecipientReader::Fill() {
  buffer_.erase(0, at_);
  at_ = 0;
  std::string bytes(kReadPiece, '\0');
  ssize_t n;
  do {
    n = ::read(fd_, bytes.data(), bytes.size());
  } while (n < 0 && errno == EINTR);
  bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  if (held_cr_) bytes.insert(bytes.begin(), '\r');
  held_cr_ = false;
  if (n <= 0) {
    eof_ = true;
  } else if (!bytes.empty() && bytes.back() == '\r') {
    bytes.pop_back();  // its LF, if any, comes with the next piece
    held_cr_ = true;
  }
  buffer_ += FromTextMode(bytes);
}

std::optional<long> CountRecipients(const Station& station, std::string_view day, long n) {
  RecipientReader reader(RecordFilePath(station, day, kNewBox, RecordPart::Recipients, n));
  if (!reader.ok()) return std::nullopt;
  long count = 0;
  while (reader.Next()) ++count;
  return count;
}

}  // namespace tavrel
