#include "console/customer_tab.h"

namespace tavrel::console {

CustomerTab::CustomerTab(QWidget* parent) : QWidget(parent) {}

}  // namespace tavrel::console
