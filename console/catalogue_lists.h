#pragma once
// What the catalogue tabs and the address book share: loads of a list that
// run on threads of their own and hand their rows to the window, and the
// reading of a selected row's cells.
#include <QPointer>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/report_view.h"

class QLabel;
class QPushButton;
class QWidget;

namespace tavrel::console {

// The loads of one list. Each runs on a new thread that nobody waits for. A
// newer load supersedes the older ones: whatever they would still show is
// dropped, so two double clicks never mix their rows in one list.
class CatalogueLoads {
 public:
  explicit CatalogueLoads(ui::ReportView* view);

  // What a load's thread uses to reach the list.
  class Load {
   public:
    // Empties the list and lets it select whole rows.
    void Clear() const;
    // Appends rows in batches, so the window keeps painting during a long load.
    void Append(std::vector<ui::ReportRow> rows) const;
    // False once a newer load of the list has started.
    bool Current() const;

   private:
    friend class CatalogueLoads;
    struct Shared;
    Load(std::shared_ptr<Shared> shared, unsigned generation, QPointer<ui::ReportView> view);
    std::shared_ptr<Shared> shared_;
    unsigned generation_;
    QPointer<ui::ReportView> view_;
  };

  // Window thread.
  void Start(std::function<void(const Load&)> work);
  // Loads whose updates have all reached the list (window thread).
  int Finished() const;

 private:
  std::shared_ptr<Load::Shared> shared_;
  QPointer<ui::ReportView> view_;
};

// A row of a catalogue list: an empty caption, then the cells.
ui::ReportRow CatalogueRow(std::vector<std::string> cells);

// The second and third cell of a row as the change handlers read them: the
// cells one per line (CR LF), cut at each LF, each piece without its CR.
// A cell holding a line break of its own shifts the pieces, as in the row.
struct RowPieces {
  std::string second;
  std::string third;
};
RowPieces SecondAndThirdPiece(const ui::ReportRow& row);

// The button column and the captions of the two catalogue pages.
QPushButton* MakeButton(QWidget* parent, const char* utf8, int y);
QLabel* MakeLabel(QWidget* parent, const char* utf8, int x, int y, int w);

}  // namespace tavrel::console
