#pragma once
// The page "点播信息维护": the information codes the auto-reply answers with.
#include <QWidget>

namespace tavrel::console {

class InfoCodeTab : public QWidget {
 public:
  explicit InfoCodeTab(QWidget* parent = nullptr);
};

}  // namespace tavrel::console
