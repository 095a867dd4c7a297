#include "ui/QtUiServices.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace miravel {

void QtUiServices::ShowMessage(QWidget* parent, const QString& text) {
  QMessageBox::information(parent, QStringLiteral("Miravel"), text);
}

void QtUiServices::ShowError(QWidget* parent, const QString& text) {
  QMessageBox::critical(parent, QStringLiteral("Hata"), text);
}

QString QtUiServices::ChooseOpenFile(QWidget* parent, const QString& startFile) {
  QFileDialog dialog(parent, QStringLiteral("Dosya Seçin"));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // The record file may not exist yet: a new name is as good as an old file.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(
      {QStringLiteral("Metin dosyaları (*.txt)"), QStringLiteral("Tüm dosyalar (*)")});
  if (!startFile.isEmpty()) {
    dialog.selectFile(startFile);
    if (!startFile.endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive)) {
      dialog.selectNameFilter(QStringLiteral("Tüm dosyalar (*)"));
    }
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().constFirst();
}

bool QtUiServices::AskYesNo(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Miravel"), text, QMessageBox::NoButton,
                  parent);
  QPushButton* yes = box.addButton(QStringLiteral("Evet"), QMessageBox::YesRole);
  box.addButton(QStringLiteral("Hayır"), QMessageBox::NoRole);
  box.exec();
  return box.clickedButton() == yes;
}

void QtUiServices::OpenUrl(const QUrl& address) {
  QDesktopServices::openUrl(address);
}

}  // namespace miravel
