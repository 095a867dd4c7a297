#include "ui/QtUiServices.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>

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

void QtUiServices::OpenUrl(const QUrl& address) {
  QDesktopServices::openUrl(address);
}

}  // namespace miravel
