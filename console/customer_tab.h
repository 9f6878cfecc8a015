#pragma once
// The page "客户信息维护": the customer catalogue.
#include <QWidget>

namespace tavrel::console {

class CustomerTab : public QWidget {
 public:
  explicit CustomerTab(QWidget* parent = nullptr);
};

}  // namespace tavrel::console
