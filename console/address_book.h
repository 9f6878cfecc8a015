#pragma once
// The address book on the compose page: the customers' names, from which
// the operator picks recipients. A picked name goes into the recipients box
// as it is; the engine turns it into the customer's number when it sends.
#include <QObject>
#include <cstddef>
#include <memory>

namespace tavrel::console {

class CatalogueLoads;
class ComposeTab;

// Recipients boxes holding more than this are not appended to.
inline constexpr std::size_t kAddressBookAppendLimit = 1010;

class AddressBook : public QObject {
  Q_OBJECT

 public:
  // Wires the compose page's tongxb and ListView7; lives as long as the page.
  explicit AddressBook(ComposeTab* compose);
  ~AddressBook() override;

  void tongxunbo_buton();  // loads the names on a thread of its own
  void listView7change(int index);

  // Loads of ListView7 that have ended.
  int LoadsFinished() const;

 private:
  ComposeTab* compose_;
  std::unique_ptr<CatalogueLoads> loads_;
};

}  // namespace tavrel::console
