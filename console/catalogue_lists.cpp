#include "console/catalogue_lists.h"

#include <QAbstractItemView>
#include <QLabel>
#include <QPushButton>
#include <thread>

#include "platform/codepage.h"
#include "store/text.h"
#include "ui/gbk_text.h"
#include "ui/window_thread.h"

namespace tavrel::console {
namespace {

// Rows per hand-over: a few milliseconds of the window's time each.
constexpr std::size_t kRowsPerBatch = 500;

std::string WithoutTrailingCr(std::string piece) {
  if (!piece.empty() && piece.back() == '\r') piece.pop_back();
  return piece;
}

}  // namespace

struct CatalogueLoads::Load::Shared {
  std::atomic<unsigned> newest{0};
  int finished = 0;  // window thread only
};

CatalogueLoads::Load::Load(std::shared_ptr<Shared> shared, unsigned generation,
                           QPointer<ui::ReportView> view)
    : shared_(std::move(shared)), generation_(generation), view_(std::move(view)) {}

bool CatalogueLoads::Load::Current() const { return shared_->newest.load() == generation_; }

void CatalogueLoads::Load::Clear() const {
  ui::PostToWindow([load = *this] {
    if (!load.view_ || !load.Current()) return;
    load.view_->Clear();
    load.view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  });
}

void CatalogueLoads::Load::Append(std::vector<ui::ReportRow> rows) const {
  for (std::size_t first = 0; first < rows.size(); first += kRowsPerBatch) {
    const auto begin = rows.begin() + static_cast<std::ptrdiff_t>(first);
    const auto end = rows.begin() + static_cast<std::ptrdiff_t>(std::min(rows.size(), first + kRowsPerBatch));
    std::vector<ui::ReportRow> batch(std::make_move_iterator(begin), std::make_move_iterator(end));
    ui::PostToWindow([load = *this, batch = std::move(batch)]() mutable {
      if (load.view_ && load.Current()) load.view_->AppendRows(std::move(batch));
    });
  }
}

CatalogueLoads::CatalogueLoads(ui::ReportView* view)
    : shared_(std::make_shared<Load::Shared>()), view_(view) {}

void CatalogueLoads::Start(std::function<void(const Load&)> work) {
  Load load(shared_, ++shared_->newest, view_);
  std::thread([load = std::move(load), work = std::move(work)] {
    work(load);
    ui::PostToWindow([shared = load.shared_] { ++shared->finished; });
  }).detach();
}

int CatalogueLoads::Finished() const { return shared_->finished; }

ui::ReportRow CatalogueRow(std::vector<std::string> cells) {
  ui::ReportRow row;
  row.sub_items = std::move(cells);
  return row;
}

RowPieces SecondAndThirdPiece(const ui::ReportRow& row) {
  std::string lines;
  for (const std::string& cell : row.sub_items) lines += cell + "\r\n";
  return {WithoutTrailingCr(SplitField(lines, 2, '\n').field),
          WithoutTrailingCr(SplitField(lines, 3, '\n').field)};
}

QPushButton* MakeButton(QWidget* parent, const char* utf8, int y) {
  auto* button = new QPushButton(parent);
  ui::SetText(button, Gbk(utf8));
  button->setGeometry(8, y, 72, 28);
  return button;
}

QLabel* MakeLabel(QWidget* parent, const char* utf8, int x, int y, int w) {
  auto* label = new QLabel(parent);
  ui::SetText(label, Gbk(utf8));
  label->setGeometry(x, y, w, 22);
  return label;
}

}  // namespace tavrel::console
