#include "console/info_code_tab.h"

namespace tavrel::console {

InfoCodeTab::InfoCodeTab(QWidget* parent) : QWidget(parent) {}

}  // namespace tavrel::console
