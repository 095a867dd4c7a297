#pragma once

#include <memory>
#include <string>

#include "core/AppError.h"
#include "core/DeviceSettings.h"
#include "core/IniFile.h"

namespace miravel {

// What the windows share, created in main() and handed to each window by
// reference. The program folder ends in '/'; nothing below main() asks the
// process where it lives.
struct AppState {
  std::string programFolder;
  // Where a relative record-file path is taken (see OfficeFolder); empty =
  // the current folder.
  std::string recordFileBase;
  // The help page; empty = yardim/ in the program folder.
  std::string helpPage;
  // The one settings-file object on cihazlar.ini, opened when the main window
  // is created and released when it closes.
  std::unique_ptr<IniFile> settingsFile;
  DeviceList devices;
  AppSettings settings;
  int selectedDeviceIndex = 1;

  std::string SettingsFilePath() const { return programFolder + "cihazlar.ini"; }
  // The settings file for a save. When it could not be opened at start, every
  // save says so with the failed write's message, each time: a save skipped
  // without a word would look done and be gone at the next start.
  IniFile& SettingsFileToWrite() {
    if (!settingsFile) throw WriteError(SettingsFilePath());
    return *settingsFile;
  }
  std::string HelpPagePath() const {
    return helpPage.empty() ? programFolder + "yardim/index.html" : helpPage;
  }
};

}  // namespace miravel
