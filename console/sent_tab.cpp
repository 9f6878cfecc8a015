#include "console/sent_tab.h"

namespace tavrel::console {

SentTab::SentTab(QWidget* parent) : QWidget(parent) {}

}  // namespace tavrel::console
