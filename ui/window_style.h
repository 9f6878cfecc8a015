#pragma once
// Small pieces of window design the three programs share.
#include <QColor>
#include <QFont>
#include <QStringList>

class QWidget;

namespace tavrel::ui {

// A main window of a fixed client size, centred on the desktop, with the
// system menu and the minimise box; the maximise box only when asked.
void SetUpMainWindow(QWidget* window, int client_width, int client_height,
                     bool maximise_box = false);

void SetTextColour(QWidget* control, const QColor& colour);
void SetBackgroundColour(QWidget* control, const QColor& colour);
void SetBold(QWidget* control, bool bold = true);

// The classic desktop background colour that memos of the programs use.
QColor DesktopColour();

// A font of the first installed family in families, else the default font,
// at pixel_size.
QFont FontOf(const QStringList& families, int pixel_size);

}  // namespace tavrel::ui
