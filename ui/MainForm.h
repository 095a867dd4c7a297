#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QList>
#include <QPixmap>
#include <QPushButton>
#include <QWidget>

#include "core/AppState.h"
#include "ui/grid/ReportGrid.h"

namespace miravel {

class TerminalClient;
class UiServices;

// A banner picture that reports a double-click.
class BannerLabel : public QLabel {
  Q_OBJECT

 public:
  using QLabel::QLabel;

 signals:
  void DoubleClicked();

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
};

// The window the program opens with: one row per configured terminal, the
// transfer of their attendance records into the record file, the settings
// window and the delete-after-transfer option. Closing it ends the program.
class Tmainform : public QWidget {
  Q_OBJECT

 public:
  // Columns of GridView1.
  enum Column { kTick = 0, kName = 1, kConnection = 2, kProgress = 3, kStatus = 4 };

  // Runs FormCreate: opens cihazlar.ini and loads the settings and the list.
  Tmainform(AppState& state, TerminalClient& terminal, UiServices& ui, QWidget* parent = nullptr);
  ~Tmainform() override;

  // Shown modally by ayarlarbutonClick; the main window rebuilds its rows when
  // it closes. Set once the settings window exists.
  void SetSettingsWindow(QWidget* settingsWindow) { settingsWindow_ = settingsWindow; }

  // The address the banners open: the help page shipped beside the program.
  QUrl HelpAddress() const;

  // Controls, named as the office knows them.
  BannerLabel* Image1;
  BannerLabel* Image2;
  QPushButton* baglanbuton;
  QPushButton* ayarlarbuton;
  QPushButton* cikisbuton;
  QCheckBox* silkontrol;
  QLabel* Label1;
  QLabel* Label2;
  ReportGrid* GridView1;
  QList<QPixmap> ImageList2;

  void FormCreate();
  void FormShow();
  void FillDeviceRows();
  void baglanbutonClick();
  void ayarlarbutonClick();
  void cikisbutonClick();
  void silkontrolClick();
  void Image1DblClick();
  void Image2DblClick();
  void FormClose();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();

  AppState& state_;
  TerminalClient& terminalClient_;
  UiServices& ui_;
  QWidget* settingsWindow_ = nullptr;
  bool shownOnce_ = false;
};

// "IP: ..." or "Mak.No: ..." for the connection column; empty for any other
// connection type (the cell then keeps what it showed).
QString ConnectionDescription(const DeviceEntry& device);

}  // namespace miravel
