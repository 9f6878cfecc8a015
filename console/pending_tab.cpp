#include "console/pending_tab.h"

namespace tavrel::console {

PendingTab::PendingTab(QWidget* parent) : QWidget(parent) {}

void PendingTab::ListView2DblClick() {}

}  // namespace tavrel::console
