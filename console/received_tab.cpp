#include "console/received_tab.h"

namespace tavrel::console {

ReceivedTab::ReceivedTab(QWidget* parent) : QWidget(parent) {}

}  // namespace tavrel::console
