#pragma once
// A report-style list: rows of a caption and sub-items under column headers,
// whole-row selection of one row, a change event per item and a double-click
// event. Rows live in a model, so thousands of them are filled in batches at
// little cost; loader threads build rows and hand batches over with
// PostToWindow (window_thread.h), never touching the view themselves.
#include <QAbstractTableModel>
#include <QTableView>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::ui {

struct ReportRow {
  std::string caption;                 // GBK, first column
  std::vector<std::string> sub_items;  // GBK, the columns after the first
  int image_index = -1;                // kept, never drawn (no image list)
};

struct ReportColumn {
  std::string caption;  // GBK
  int width = 80;
};

class ReportModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  using QAbstractTableModel::QAbstractTableModel;

  void SetColumns(std::vector<ReportColumn> columns);
  void Clear();
  void Append(std::vector<ReportRow> rows);
  int Add(ReportRow row);
  void AddSubItem(int index, std::string_view gbk);
  void SetCaption(int index, std::string_view gbk);
  const ReportRow& Row(int index) const { return rows_.at(static_cast<std::size_t>(index)); }
  ReportRow& MutableRow(int index) { return rows_.at(static_cast<std::size_t>(index)); }
  int Count() const { return static_cast<int>(rows_.size()); }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::vector<ReportColumn> columns_;
  std::vector<ReportRow> rows_;
};

class ReportView : public QTableView {
  Q_OBJECT

 public:
  explicit ReportView(QWidget* parent = nullptr);

  void SetColumns(std::vector<ReportColumn> columns);
  void Clear();
  void AppendRows(std::vector<ReportRow> rows);  // one batch, appended at the end
  int AddItem(std::string_view caption_gbk);     // returns the item's index
  void AddSubItem(int index, std::string_view gbk);
  void SetImageIndex(int index, int image_index);

  int Count() const { return model_->Count(); }
  const ReportRow& Item(int index) const { return model_->Row(index); }
  std::string Caption(int index) const { return model_->Row(index).caption; }
  // Sub-item k (from 0) of the item, or empty when it has fewer.
  std::string SubItem(int index, std::size_t k) const;
  bool IsSelected(int index) const;
  int SelectedIndex() const;  // -1 when no item is selected
  void Select(int index);     // selects the item (and fires the change event)

 signals:
  // The item's state changed (selected or deselected); handlers check
  // IsSelected(index) themselves.
  void ItemChanged(int index);
  // A double click anywhere on the list, on an item or not.
  void DoubleClicked();

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  ReportModel* model_;
};

}  // namespace tavrel::ui
