#include "ui/report_view.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <set>

#include "ui/gbk_text.h"

namespace tavrel::ui {

void ReportModel::SetColumns(std::vector<ReportColumn> columns) {
  beginResetModel();
  columns_ = std::move(columns);
  endResetModel();
}

void ReportModel::Clear() {
  if (rows_.empty()) return;
  beginResetModel();
  rows_.clear();
  endResetModel();
}

void ReportModel::Append(std::vector<ReportRow> rows) {
  if (rows.empty()) return;
  const int first = Count();
  beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
  rows_.insert(rows_.end(), std::make_move_iterator(rows.begin()),
               std::make_move_iterator(rows.end()));
  endInsertRows();
}

int ReportModel::Add(ReportRow row) {
  std::vector<ReportRow> one;
  one.push_back(std::move(row));
  Append(std::move(one));
  return Count() - 1;
}

void ReportModel::AddSubItem(int index, std::string_view gbk) {
  ReportRow& row = MutableRow(index);
  row.sub_items.emplace_back(gbk);
  const int column = static_cast<int>(row.sub_items.size());
  if (column < columnCount()) emit dataChanged(this->index(index, column), this->index(index, column));
}

void ReportModel::SetCaption(int index, std::string_view gbk) {
  MutableRow(index).caption = std::string(gbk);
  emit dataChanged(this->index(index, 0), this->index(index, 0));
}

int ReportModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Count();
}

int ReportModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : std::max<int>(1, static_cast<int>(columns_.size()));
}

QVariant ReportModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= Count()) return {};
  const ReportRow& row = Row(index.row());
  if (index.column() == 0) return FromGbk(row.caption);
  const auto k = static_cast<std::size_t>(index.column() - 1);
  return k < row.sub_items.size() ? FromGbk(row.sub_items[k]) : QString();
}

QVariant ReportModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
  const auto k = static_cast<std::size_t>(section);
  return k < columns_.size() ? FromGbk(columns_[k].caption) : QVariant();
}

ReportView::ReportView(QWidget* parent) : QTableView(parent), model_(new ReportModel(this)) {
  setModel(model_);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setShowGrid(false);
  setWordWrap(false);
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this](const QItemSelection& selected, const QItemSelection& deselected) {
            std::set<int> rows;
            for (const QModelIndex& i : deselected.indexes()) rows.insert(i.row());
            for (const QModelIndex& i : selected.indexes()) rows.insert(i.row());
            for (int row : rows) emit ItemChanged(row);
          });
}

void ReportView::SetColumns(std::vector<ReportColumn> columns) {
  std::vector<int> widths;
  for (const ReportColumn& c : columns) widths.push_back(c.width);
  model_->SetColumns(std::move(columns));
  for (std::size_t i = 0; i < widths.size(); ++i) setColumnWidth(static_cast<int>(i), widths[i]);
}

void ReportView::Clear() { model_->Clear(); }

void ReportView::AppendRows(std::vector<ReportRow> rows) { model_->Append(std::move(rows)); }

int ReportView::AddItem(std::string_view caption_gbk) {
  ReportRow row;
  row.caption = std::string(caption_gbk);
  return model_->Add(std::move(row));
}

void ReportView::AddSubItem(int index, std::string_view gbk) { model_->AddSubItem(index, gbk); }

void ReportView::SetImageIndex(int index, int image_index) {
  model_->MutableRow(index).image_index = image_index;
}

std::string ReportView::SubItem(int index, std::size_t k) const {
  const ReportRow& row = model_->Row(index);
  return k < row.sub_items.size() ? row.sub_items[k] : std::string();
}

bool ReportView::IsSelected(int index) const {
  return selectionModel()->isRowSelected(index, {});
}

int ReportView::SelectedIndex() const {
  const QModelIndexList rows = selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

void ReportView::Select(int index) {
  selectionModel()->select(model_->index(index, 0),
                           QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  setCurrentIndex(model_->index(index, 0));
}

void ReportView::mouseDoubleClickEvent(QMouseEvent* event) {
  QTableView::mouseDoubleClickEvent(event);
  emit DoubleClicked();
}

}  // namespace tavrel::ui
