#include "store/inbox_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/textfile.h"
#include "store/record_store.h"

namespace tavrel {

// One record file, opened for writing when it is made. What is written waits
// in memory until it is pushed, and a push reaches the disk before it returns,
// so that a counter written afterwards never covers a file that a crash could
// leave incomplete.
class InboxWriter::File {
 public:
  // name is the file as traces show it, path where it is.
  File(const InboxWriter& owner, std::string name, const std::string& path)
      : owner_(owner), name_(std::move(name)) {
    owner_.BeforeWrite();
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) owner_.CannotWrite(name_);
  }
  ~File() {
    if (fd_ >= 0) ::close(fd_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  void Write(std::string_view text) {
    if (fd_ < 0) return;
    owner_.BeforeWrite();
    pending_ += ToTextMode(text);
  }

  void Push() {
    if (fd_ < 0) return;
    owner_.BeforeWrite();
    if (!WriteAll(fd_, pending_) || ::fsync(fd_) != 0) failed_ = true;
    pending_.clear();
  }

  bool Healthy() const { return fd_ >= 0 && !failed_; }

  bool Close() {
    if (fd_ < 0) return false;
    Push();
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (!closed || failed_) owner_.CannotWrite(name_);
    return closed && !failed_;
  }

 private:
  const InboxWriter& owner_;
  std::string name_;
  int fd_ = -1;
  std::string pending_;
  bool failed_ = false;
};

InboxWriter::InboxWriter(const Station& station, std::string_view day, long m, InboxEvents events)
    : station_(station),
      day_(day),
      m_(m),
      events_(std::move(events)),
      header_name_(RecordFileName(day, kRecvBox, RecordPart::Header, m)) {
  auto open = [&](RecordPart part) {
    return std::make_unique<File>(*this, RecordFileName(day, kRecvBox, part, m),
                                  RecordFilePath(station, day, kRecvBox, part, m));
  };
  sender_ = open(RecordPart::Recipients);
  text_ = open(RecordPart::Text);
}

InboxWriter::~InboxWriter() = default;

void InboxWriter::BeforeWrite() const {
  if (events_.before_write) events_.before_write();
}

void InboxWriter::CannotWrite(const std::string& name) const {
  if (events_.cannot_write) events_.cannot_write(name);
}

void InboxWriter::WriteSender(std::string_view sender) { sender_->Write(sender); }

void InboxWriter::WriteText(std::string_view text) { text_->Write(text); }

void InboxWriter::WriteHeader(const std::string& stamp) {
  header_ = std::make_unique<File>(*this, header_name_,
                                   RecordFilePath(station_, day_, kRecvBox, RecordPart::Header, m_));
  const std::string lines = InboxHeader(stamp);
  const std::size_t first_line = lines.find('\n') + 1;
  header_->Write(std::string_view(lines).substr(0, first_line));
  header_->Push();
  header_->Write(std::string_view(lines).substr(first_line));
  header_->Push();
}

bool InboxWriter::HeaderWritten() const { return header_ != nullptr && header_->Healthy(); }

bool InboxWriter::CloseSender() { return sender_->Close(); }

bool InboxWriter::CloseText() { return text_->Close(); }

bool InboxWriter::CloseHeader() { return header_ != nullptr && header_->Close(); }

bool InboxWriter::Count() {
  BeforeWrite();
  if (WriteMailboxCounter(station_, day_, kRecvBox, m_)) return true;
  CannotWrite(CounterFileName(day_, kRecvBox));
  return false;
}

}  // namespace tavrel
