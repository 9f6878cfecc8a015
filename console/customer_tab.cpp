#include "console/customer_tab.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "console/catalogue_lists.h"
#include "console/optout_panel.h"
#include "platform/codepage.h"
#include "store/catalogue.h"
#include "ui/gbk_text.h"
#include "ui/memo.h"
#include "ui/message_box.h"
#include "ui/report_view.h"

namespace tavrel::console {
namespace {

constexpr int kFieldCharLimit = 128;
constexpr std::size_t kInformationByteLimit = 1023;

QLineEdit* MakeEdit(QWidget* parent, int y) {
  auto* edit = new QLineEdit(parent);
  edit->setGeometry(64, y, 170, 22);
  edit->setMaxLength(kFieldCharLimit);
  return edit;
}

}  // namespace

CustomerTab::~CustomerTab() = default;

CustomerTab::CustomerTab(Station station, QWidget* parent)
    : QWidget(parent), station_(std::move(station)) {
  Label5 = MakeLabel(this, "姓名", 8, 12, 52);
  Edit5 = MakeEdit(this, 12);
  Label6 = MakeLabel(this, "手机号", 8, 48, 52);
  Edit6 = MakeEdit(this, 48);

  Label13 = MakeLabel(this, "客户", 256, 16, 32);
  Label14 = MakeLabel(this, "信息", 256, 40, 32);
  Memo13 = new ui::Memo(this);
  Memo13->setGeometry(292, 8, 448, 92);
  Memo13->SetByteLimit(kInformationByteLimit);
  Memo13->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  add_kehu_button = MakeButton(this, "增加", 112);
  ChaXun_BitBtn1 = MakeButton(this, "查询", 152);
  change_kehu_BitBtn2 = MakeButton(this, "修改", 192);
  del_keHU_BitBtn4 = MakeButton(this, "删除", 232);

  ListView5 = new ui::ReportView(this);
  ListView5->setGeometry(88, 112, 432, 312);
  ListView5->SetColumns({{"", 1},
                         {Gbk("序号"), 48},
                         {Gbk("姓名"), 90},
                         {Gbk("手机号"), 100},
                         {Gbk("客户信息  (双击下面空白，获得内容列表)"), 390}});
  OptOuts = new OptOutPanel(station_, this);
  OptOuts->setGeometry(528, 112, 212, 312);

  connect(add_kehu_button, &QPushButton::clicked, this, [this] { add_kehu_buttonClick(); });
  connect(ChaXun_BitBtn1, &QPushButton::clicked, this, [this] { ChaXun_BitBtn1Click(); });
  connect(change_kehu_BitBtn2, &QPushButton::clicked, this,
          [this] { change_kehu_BitBtn2Click(); });
  connect(del_keHU_BitBtn4, &QPushButton::clicked, this, [this] { del_keHU_BitBtn4Click(); });
  loads_ = std::make_unique<CatalogueLoads>(ListView5);

  connect(ListView5, &ui::ReportView::ItemChanged, this,
          [this](int index) { kehu_listvi_chang(index); });
  connect(ListView5, &ui::ReportView::DoubleClicked, this, [this] { ListView5DblClick(); });
}

void CustomerTab::add_kehu_buttonClick() {
  AddCustomer(station_, ui::GetText(Edit5), ui::GetText(Edit6), Memo13->Text());
}

void CustomerTab::change_kehu_BitBtn2Click() {
  SetCustomer(station_, ui::GetText(Edit5), ui::GetText(Edit6), Memo13->Text());
}

void CustomerTab::del_keHU_BitBtn4Click() { RemoveCustomer(station_, ui::GetText(Edit5)); }

void CustomerTab::ChaXun_BitBtn1Click() {
  const CustomerLookup found = FindCustomer(station_, ui::GetText(Edit5));
  switch (found.result) {
    case CatalogueResult::Found:
      ui::SetText(Edit6, found.number);
      return Memo13->SetText(found.information);
    case CatalogueResult::Absent:
      return Memo13->SetText(Gbk("无此客户!"));
    default:
      return Memo13->SetText(Gbk("无此客户"));
  }
}

void CustomerTab::kehu_listvi_chang(int index) {
  if (index < 0 || index >= ListView5->Count() || !ListView5->IsSelected(index)) return;
  const RowPieces pieces = SecondAndThirdPiece(ListView5->Item(index));
  ui::SetText(Edit5, pieces.second);
  ui::SetText(Edit6, pieces.third);
  std::optional<std::string> information = ReadCustomerInfo(station_, pieces.second);
  if (!information) {
    // An emptied box, so that a following modify cannot file the customer
    // shown before under this name.
    Memo13->Clear();
    return ui::ShowMessage(kCustDir + pieces.second, this);
  }
  Memo13->SetText(*information);
}

void CustomerTab::ListView5DblClick() {
  loads_->Start([station = station_](const CatalogueLoads::Load& load) {
    load.Clear();
    CustomerListing listing = ListCustomers(station);
    std::vector<ui::ReportRow> rows;
    for (CustomerRow& customer : listing.rows)
      rows.push_back(CatalogueRow({std::to_string(customer.row), std::move(customer.name),
                                   std::move(customer.number),
                                   std::move(customer.information)}));
    load.Append(std::move(rows));
    if (listing.missing_information && load.Current()) {
      // The name, then its length in bytes, so that a name with stray
      // bytes (a blank, a line end) can be told from the one typed.
      ui::ShowMessage(*listing.missing_information);
      ui::ShowMessage(std::to_string(listing.missing_information->size()));
    }
  });
}

int CustomerTab::LoadsFinished() const { return loads_->Finished(); }

}  // namespace tavrel::console
