#include "console/list_loader.h"

#include <QLineEdit>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "ui/application.h"
#include "ui/gbk_text.h"
#include "ui/message_box.h"
#include "ui/report_view.h"
#include "ui/window_thread.h"

namespace tavrel::console {

struct ListLoader::Shared {
  // Bumped on the window thread by every start: a load, and each batch it
  // posted, belongs to the list only while its generation is the current one.
  std::atomic<unsigned long> generation{0};
  std::mutex mutex;
  std::condition_variable idle;
  int running = 0;
};

namespace {

// A batch goes to the window after this many rows or this long, whichever
// comes first: few hand-overs for a long list, and the first rows show soon.
constexpr std::size_t kBatchRows = 256;
constexpr std::chrono::milliseconds kBatchAge{40};

class PostingSink : public ListSink {
 public:
  PostingSink(std::shared_ptr<ListLoader::Shared> shared, unsigned long generation,
              QPointer<ui::ReportView> list, QPointer<QLineEdit> date_edit, std::string day)
      : shared_(std::move(shared)),
        generation_(generation),
        list_(std::move(list)),
        date_edit_(std::move(date_edit)),
        day_(std::move(day)) {}

  void Clear() override {
    Flush();
    ui::PostToWindow([shared = shared_, generation = generation_, list = list_] {
      if (list && shared->generation.load() == generation) list->Clear();
    });
  }

  void Append(RowValues values) override {
    if (batch_.empty()) started_ = std::chrono::steady_clock::now();
    batch_.push_back(ui::ReportRow{{}, std::move(values), -1});
    if (batch_.size() >= kBatchRows || std::chrono::steady_clock::now() - started_ >= kBatchAge) {
      Flush();
    }
  }

  bool Replaced() const override { return shared_->generation.load() != generation_; }

  void Flush() {
    if (batch_.empty()) return;
    ui::PostToWindow([shared = shared_, generation = generation_, list = list_,
                      date_edit = date_edit_, day = day_, rows = std::move(batch_)]() mutable {
      if (!list || shared->generation.load() != generation) return;
      list->AppendRows(std::move(rows));
      if (date_edit) ui::SetText(date_edit, day);
    });
    batch_.clear();
  }

 private:
  std::shared_ptr<ListLoader::Shared> shared_;
  unsigned long generation_;
  QPointer<ui::ReportView> list_;
  QPointer<QLineEdit> date_edit_;
  std::string day_;
  std::vector<ui::ReportRow> batch_;
  std::chrono::steady_clock::time_point started_;
};

}  // namespace

ListLoader::ListLoader(ui::ReportView* list, QLineEdit* date_edit)
    : shared_(std::make_shared<Shared>()), list_(list), date_edit_(date_edit) {}

ListLoader::~ListLoader() { shared_->generation.fetch_add(1); }

void ListLoader::Start(std::string day, Load load) {
  const unsigned long generation = shared_->generation.fetch_add(1) + 1;
  {
    std::lock_guard lock(shared_->mutex);
    ++shared_->running;
  }
  std::thread([shared = shared_, generation, list = list_, date_edit = date_edit_,
               day = std::move(day), load = std::move(load)]() mutable {
    try {
      PostingSink sink(shared, generation, list, date_edit, std::move(day));
      load(sink);
      sink.Flush();
    } catch (...) {
      // Nothing a load reads should throw; if it does, the operator sees why
      // the list stopped short instead of the program ending.
      ui::PostToWindow([text = ui::ExceptionText(std::current_exception())] {
        ui::ShowException(text);
      });
    }
    std::lock_guard lock(shared->mutex);
    --shared->running;
    shared->idle.notify_all();
  }).detach();
}

void ListLoader::WaitForLoads() {
  std::unique_lock lock(shared_->mutex);
  shared_->idle.wait(lock, [&] { return shared_->running == 0; });
}

}  // namespace tavrel::console
