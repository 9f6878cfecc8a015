#pragma once
// The writer of the recv mailbox, beside the outbox writer: it files one
// received message as record m of a day's recv. It goes one step at a time,
// so that the receive phase keeps its own work and traces between the steps,
// and it says what became of each file, so that the phase can decide what
// the counter may cover.
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/station.h"

namespace tavrel {

// What the writer tells its owner as it goes. Either may be empty.
struct InboxEvents {
  // Before every open, write and push of a file and before the counter: the
  // engine's suspension checkpoint, which may throw to leave the phase.
  std::function<void()> before_write;
  // A file that could not be opened or written, or a counter that could not
  // be replaced, by name.
  std::function<void(const std::string& file)> cannot_write;
};

class InboxWriter {
 public:
  // Opens R<m> and DA<m> of day's recv for writing, each replaced if there.
  InboxWriter(const Station& station, std::string_view day, long m, InboxEvents events);
  ~InboxWriter();
  InboxWriter(const InboxWriter&) = delete;
  InboxWriter& operator=(const InboxWriter&) = delete;

  // R<m> and DA<m> receive their content only as they are closed.
  void WriteSender(std::string_view sender);  // no line end
  void WriteText(std::string_view text);      // no line end

  const std::string& HeaderName() const { return header_name_; }  // H<m>
  // Opens H<m> and writes the inbox header with the stamp, pushed to the disk
  // after its first line and after its last.
  void WriteHeader(const std::string& stamp);
  // H<m> is open and all pushed to it so far is on the disk.
  bool HeaderWritten() const;

  // Each closes one file: true when it was open and all written to it is on
  // the disk.
  bool CloseSender();
  bool CloseText();
  bool CloseHeader();
  // Replaces recv's counter with m; true when it now holds m.
  bool Count();

 private:
  class File;

  void BeforeWrite() const;
  void CannotWrite(const std::string& name) const;

  Station station_;
  std::string day_;
  long m_;
  InboxEvents events_;
  std::string header_name_;
  std::unique_ptr<File> sender_;
  std::unique_ptr<File> text_;
  std::unique_ptr<File> header_;
};

}  // namespace tavrel
