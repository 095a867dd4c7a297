#pragma once

#include <QList>
#include <QPixmap>
#include <QSize>

namespace miravel {

// The program's pictures, drawn at run time so no image files travel with it.
// All need a running QGuiApplication.

// The main window's status column, 50 x 50: 0 nothing (transparent), 1 a green
// check mark (transfer done), 2 a red circle with a white bar (no answer).
QList<QPixmap> StatusImages();

// The personnel window's fingerprint column, 16 x 16: 0 a red cross (no
// template), 1 a grey fingerprint, 2 a plain white square.
QList<QPixmap> FingerprintImages();

// Button glyphs, 24 x 24.
QPixmap TransferGlyph();        // a download arrow into a tray, blue
QPixmap SettingsGlyph();        // a gear
QPixmap ExitGlyph();            // a door with an arrow leaving it
QPixmap StopGlyph();            // a red square, as on a player's stop key
QPixmap OkGlyph();              // a green check mark
QPixmap CancelGlyph();          // a red cross
QPixmap ClockGlyph();           // a clock face
QPixmap PersonGlyph();          // head and shoulders
QPixmap NewGlyph();             // a page with a green plus
QPixmap SaveGlyph();            // a disk
QPixmap DeleteGlyph();          // a waste bin
QPixmap ConnectionTestGlyph();  // a plug
QPixmap FileGlyph();            // a folder
QPixmap LeftArrowGlyph();       // a green arrow pointing left
QPixmap RightArrowGlyph();      // a green arrow pointing right

// The confirmation dialog's picture, 33 x 39: a yellow warning triangle with
// an exclamation mark.
QPixmap WarningPicture();

// The main window's banners: the top one carries the program's name and what
// it does, the bottom one the double-click hint.
QPixmap BannerPicture(QSize size, bool top);

}  // namespace miravel
