#include "console/info_code_tab.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTimer>

#include "console/catalogue_lists.h"
#include "platform/codepage.h"
#include "store/catalogue.h"
#include "ui/gbk_text.h"
#include "ui/memo.h"
#include "ui/message_box.h"
#include "ui/report_view.h"
#include "ui/window_style.h"

namespace tavrel::console {
namespace {

constexpr int kCodeCharLimit = 128;
constexpr std::size_t kTextByteLimit = 1023;
// How long the pointer rests on a row before the row becomes the selection.
constexpr int kHoverSelectMs = 400;

// The list follows the pointer: a hand over the rows, the row under it
// underlined, and the row it rests on selected (which fills the two fields).
class HotTracking : public QStyledItemDelegate {
 public:
  explicit HotTracking(ui::ReportView* view) : QStyledItemDelegate(view), view_(view) {
    view->setItemDelegate(this);
    view->setMouseTracking(true);
    view->viewport()->setCursor(Qt::PointingHandCursor);
    view->viewport()->installEventFilter(this);
    rest_.setSingleShot(true);
    rest_.setInterval(kHoverSelectMs);
    connect(&rest_, &QTimer::timeout, this, [this] {
      if (hot_row_ >= 0 && hot_row_ < view_->Count() && !view_->IsSelected(hot_row_))
        view_->Select(hot_row_);
    });
    connect(view, &QAbstractItemView::entered, this, [this](const QModelIndex& index) {
      SetHotRow(index.row());
      rest_.start();
    });
  }

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.row() == hot_row_) option->font.setUnderline(true);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Leave) {
      rest_.stop();
      SetHotRow(-1);
    }
    return QStyledItemDelegate::eventFilter(watched, event);
  }

 private:
  void SetHotRow(int row) {
    if (row == hot_row_) return;
    hot_row_ = row;
    view_->viewport()->update();
  }

  ui::ReportView* view_;
  QTimer rest_;
  int hot_row_ = -1;
};

// A code the catalogue file could not give back as itself is not stored;
// the operator has to type another.
void ShowCodeRefused(QWidget* parent) {
  ui::ShowMessage(Gbk("信息代码不能含有'='，前后不能有空格，也不能以'['或';'开头，请重新输入。"),
                  parent);
}

}  // namespace

InfoCodeTab::~InfoCodeTab() = default;

InfoCodeTab::InfoCodeTab(Station station, QWidget* parent)
    : QWidget(parent), station_(std::move(station)) {
  // Controls are made in the order the Tab key visits them.
  ListView1 = new ui::ReportView(this);
  ListView1->setGeometry(88, 124, 652, 300);
  ListView1->SetColumns({{"", 1},
                         {Gbk("序号"), 48},
                         {Gbk("信息代码"), 90},
                         {Gbk("信息内容  (双击下面空白，获得内容列表)"), 480}});
  ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
  new HotTracking(ListView1);
  loads_ = std::make_unique<CatalogueLoads>(ListView1);

  Label8 = MakeLabel(this, "短信内容：", 256, 8, 68);
  Memo8 = new ui::Memo(this);
  Memo8->setGeometry(326, 8, 414, 64);
  Memo8->SetByteLimit(kTextByteLimit);

  add_dianbo = MakeButton(this, "增加", 124);
  change_diaobo = MakeButton(this, "修改", 204);
  del_dianbao = MakeButton(this, "删除", 244);

  Label7 = MakeLabel(this, "短信代码 ：", 8, 8, 76);
  Edit7 = new QLineEdit(this);
  Edit7->setGeometry(88, 8, 150, 22);
  Edit7->setMaxLength(kCodeCharLimit);

  ChaXun_DianBoBitBtn1 = MakeButton(this, "查询", 164);

  Label23 = new QLabel(this);
  ui::SetText(Label23, Gbk("当客户发来*+4位信息代码时，系统会自动发给客户一个短信，"
                           "短信内容是信息代码对应的内容"));
  Label23->setGeometry(8, 78, 732, 36);
  Label23->setWordWrap(true);
  ui::SetTextColour(Label23, QColor(0x00, 0x80, 0x00));
  ui::SetBold(Label23);

  connect(add_dianbo, &QPushButton::clicked, this, [this] { add_dianboClick(); });
  connect(ChaXun_DianBoBitBtn1, &QPushButton::clicked, this,
          [this] { ChaXun_DianBoBitBtn1Click(); });
  connect(change_diaobo, &QPushButton::clicked, this, [this] { change_diaoboClick(); });
  // Removal only on a deliberate press: passing over the button with the Tab
  // key must not delete the code in the field.
  connect(del_dianbao, &QPushButton::clicked, this, [this] { del_dianbaoClick(); });
  connect(ListView1, &ui::ReportView::ItemChanged, this,
          [this](int index) { dianbo_listview_change(index); });
  connect(ListView1, &ui::ReportView::DoubleClicked, this, [this] { ListView1DblClick(); });
}

void InfoCodeTab::add_dianboClick() {
  switch (AddInfoCode(station_, ui::GetText(Edit7), Memo8->Text())) {
    case CatalogueResult::TooLong:
      return ui::ShowMessage(Gbk("收信内容不能太多！"), this);
    case CatalogueResult::Refused:
      return ShowCodeRefused(this);
    default:
      return;
  }
}

void InfoCodeTab::change_diaoboClick() {
  switch (SetInfoCode(station_, ui::GetText(Edit7), Memo8->Text())) {
    case CatalogueResult::TooLong:
      return ui::ShowMessage(Gbk("收信内容不能太多!!"), this);
    case CatalogueResult::Refused:
      return ShowCodeRefused(this);
    default:
      return;
  }
}

void InfoCodeTab::del_dianbaoClick() { RemoveInfoCode(station_, ui::GetText(Edit7)); }

void InfoCodeTab::ChaXun_DianBoBitBtn1Click() {
  const InfoCodeLookup found = FindInfoCode(station_, ui::GetText(Edit7));
  switch (found.result) {
    case CatalogueResult::Found:
      return Memo8->SetText(found.text);
    case CatalogueResult::Absent:
      return Memo8->SetText(Gbk("无此信息!"));
    default:
      return Memo8->SetText(Gbk("无此信息"));
  }
}

void InfoCodeTab::dianbo_listview_change(int index) {
  if (index < 0 || index >= ListView1->Count() || !ListView1->IsSelected(index)) return;
  const RowPieces pieces = SecondAndThirdPiece(ListView1->Item(index));
  ui::SetText(Edit7, pieces.second);
  Memo8->SetText(pieces.third);
}

void InfoCodeTab::ListView1DblClick() {
  loads_->Start([station = station_](const CatalogueLoads::Load& load) {
    load.Clear();
    std::vector<ui::ReportRow> rows;
    for (InfoCodeRow& code : ListInfoCodes(station))
      rows.push_back(CatalogueRow({std::to_string(code.row), std::move(code.code),
                                   std::move(code.text)}));
    load.Append(std::move(rows));
  });
}

int InfoCodeTab::LoadsFinished() const { return loads_->Finished(); }

}  // namespace tavrel::console
