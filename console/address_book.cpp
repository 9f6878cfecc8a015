#include "console/address_book.h"

#include <QPushButton>

#include "console/catalogue_lists.h"
#include "console/compose_tab.h"
#include "store/catalogue.h"
#include "ui/memo.h"
#include "ui/report_view.h"

namespace tavrel::console {

AddressBook::AddressBook(ComposeTab* compose)
    : QObject(compose),
      compose_(compose),
      loads_(std::make_unique<CatalogueLoads>(compose->ListView7)) {
  ui::ReportView* list = compose->ListView7;
  list->SetColumns({{"", list->width() - 4}});
  list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  connect(compose->tongxb, &QPushButton::clicked, this, [this] { tongxunbo_buton(); });
  connect(list, &ui::ReportView::ItemChanged, this, [this](int index) { listView7change(index); });
}

AddressBook::~AddressBook() = default;

void AddressBook::tongxunbo_buton() {
  loads_->Start([station = compose_->station()](const CatalogueLoads::Load& load) {
    // An unreadable catalogue leaves the names shown so far.
    std::optional<std::vector<std::string>> names = ListCustomerNames(station);
    if (!names) return;
    std::vector<ui::ReportRow> rows(names->size());
    for (std::size_t i = 0; i < names->size(); ++i) rows[i].caption = std::move((*names)[i]);
    load.Clear();
    load.Append(std::move(rows));
  });
}

int AddressBook::LoadsFinished() const { return loads_->Finished(); }

void AddressBook::listView7change(int index) {
  ui::Memo* recipients = compose_->shoujihao;
  if (recipients->GbkSizeExceeds(kAddressBookAppendLimit)) return;
  ui::ReportView* list = compose_->ListView7;
  if (index < 0 || index >= list->Count() || !list->IsSelected(index)) return;
  recipients->AppendText(list->Caption(index) + ";");
}

}  // namespace tavrel::console
