// Shared pieces of the dialogs' look: the icon, the Japanese UI font and the
// dialog units the layout is measured in.
#pragma once

#include <QFont>
#include <QIcon>

namespace tidewell {

// The wave-over-a-well icon in every size we ship.
QIcon ApplicationIcon();

// "ＭＳ Ｐゴシック" 9 pt where installed, else a Japanese Gothic that is.
QFont DialogFont();
// Makes DialogFont the application's font, so that windows that do not take
// their parent's font (message boxes, the file dialog, the progress window,
// menus) use it too.
void UseDialogFontEverywhere();

// Dialog units of a font: a quarter of its average character width across,
// an eighth of its height down.
class DialogUnits {
  public:
    explicit DialogUnits(const QFont& font);
    int X(int units) const { return (units * m_nBaseX + 2) / 4; }
    int Y(int units) const { return (units * m_nBaseY + 4) / 8; }

  private:
    int m_nBaseX;
    int m_nBaseY;
};

}  // namespace tidewell
