#include "ui/window_style.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace tavrel::ui {

void SetUpMainWindow(QWidget* window, int client_width, int client_height, bool maximise_box) {
  Qt::WindowFlags flags = Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint;
  if (maximise_box) {
    flags |= Qt::WindowMaximizeButtonHint;
  } else {
    window->setFixedSize(client_width, client_height);
  }
  window->setWindowFlags(flags);
  window->resize(client_width, client_height);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect area = screen->availableGeometry();
    window->move(area.center() - QPoint(client_width / 2, client_height / 2));
  }
}

void SetTextColour(QWidget* control, const QColor& colour) {
  QPalette palette = control->palette();
  palette.setColor(QPalette::WindowText, colour);
  palette.setColor(QPalette::ButtonText, colour);
  palette.setColor(QPalette::Text, colour);
  control->setPalette(palette);
}

void SetBackgroundColour(QWidget* control, const QColor& colour) {
  QPalette palette = control->palette();
  palette.setColor(QPalette::Base, colour);
  palette.setColor(QPalette::Window, colour);
  control->setPalette(palette);
  control->setAutoFillBackground(true);
}

void SetBold(QWidget* control, bool bold) {
  QFont font = control->font();
  font.setBold(bold);
  control->setFont(font);
}

QColor DesktopColour() { return QColor(0x3A, 0x6E, 0xA5); }

QFont FontOf(const QStringList& families, int pixel_size) {
  QFont font;
  const QStringList installed = QFontDatabase::families();
  for (const QString& family : families) {
    if (installed.contains(family)) {
      font.setFamily(family);
      break;
    }
  }
  font.setPixelSize(pixel_size);
  return font;
}

}  // namespace tavrel::ui
