#include "core/DeviceSettings.h"

#include "core/IniFile.h"
#include "core/Utf8.h"

namespace miravel {
namespace {

constexpr const char* kSettingsSection = "ayarlar";
constexpr const char* kRecordFileKey = "dosya";
constexpr const char* kDeleteAfterKey = "silkontrol";
constexpr const char* kSerialPortsSection = "seriportlar";
constexpr const char* kDefaultDeviceName = "deneme";

std::string DeviceSection(int number) {
  return "cihaz" + std::to_string(number);
}

std::string* FieldOf(DeviceEntry& entry, std::size_t index) {
  std::string* fields[] = {&entry.name,    &entry.connectionType, &entry.machineNumber,
                           &entry.comPort, &entry.baudRate,       &entry.ipAddress,
                           &entry.ipPort,  &entry.password,       &entry.inOutMode};
  return fields[index];
}

}  // namespace

const std::array<DeviceField, 9> kDeviceFields = {{
    {"adi", 20},
    {"baglantitipi", 10},
    {"makineno", 5},
    {"portno", 5},
    {"baudrate", 6},
    {"ipadres", 16},
    {"ipport", 5},
    {"parola", 6},
    {"gcdurum", 20},
}};

DeviceRow ToRow(const DeviceEntry& entry) {
  DeviceRow row;
  DeviceEntry copy = entry;
  for (std::size_t i = 0; i < row.size(); ++i) row[i] = *FieldOf(copy, i);
  return row;
}

DeviceEntry FromRow(const DeviceRow& row) {
  DeviceEntry entry;
  for (std::size_t i = 0; i < row.size(); ++i) {
    *FieldOf(entry, i) = CutToChars(row[i], kDeviceFields[i].width);
  }
  return entry;
}

DeviceEntry WholeEntryOf(const DeviceRow& row) {
  DeviceEntry entry;
  for (std::size_t i = 0; i < row.size(); ++i) *FieldOf(entry, i) = row[i];
  return entry;
}

AppSettings LoadAppSettings(const IniFile& file) {
  AppSettings settings;
  const std::string path = file.ReadString(kSettingsSection, kRecordFileKey, kDefaultRecordFile);
  // A blank path would name no file at all; it falls back to the default.
  settings.recordFilePath = TrimSpaceAndControls(path).empty() ? kDefaultRecordFile : path;
  settings.deleteAfterTransfer = file.ReadString(kSettingsSection, kDeleteAfterKey, "1") == "1";
  return settings;
}

DeviceList LoadDeviceList(const IniFile& file) {
  DeviceList list;
  for (int n = 1; n <= kMaxDevices; ++n) {
    const std::string section = DeviceSection(n);
    if (!file.SectionExists(section)) continue;
    DeviceRow row;
    for (std::size_t i = 0; i < row.size(); ++i) {
      row[i] = file.ReadString(section, kDeviceFields[i].key, i == 0 ? kDefaultDeviceName : "");
    }
    list.push_back(FromRow(row));
  }
  return list;
}

void WriteRecordFilePath(IniFile& file, const std::string& path) {
  file.WriteString(kSettingsSection, kRecordFileKey, path);
}

void WriteDeleteAfterTransfer(IniFile& file, bool on) {
  file.WriteString(kSettingsSection, kDeleteAfterKey, on ? "1" : "0");
}

void SaveDeviceList(IniFile& file, const std::vector<DeviceRow>& rows) {
  // One commit for the whole list: a crash leaves the old list or the new one.
  IniWriteGroup group(file);
  for (int n = 1; n <= kMaxDevices; ++n) file.EraseSection(DeviceSection(n));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::string section = DeviceSection(static_cast<int>(i) + 1);
    for (std::size_t f = 0; f < rows[i].size(); ++f) {
      file.WriteString(section, kDeviceFields[f].key, rows[i][f]);
    }
  }
}

std::string SerialDevicePath(const IniFile& file, int comPort) {
  const std::string mapped =
      file.ReadString(kSerialPortsSection, "com" + std::to_string(comPort), "");
  if (!mapped.empty()) return mapped;
  return "/dev/ttyS" + std::to_string(comPort - 1);
}

std::function<std::string(int comPort)> SerialDevicePathsNow(const IniFile& file) {
  std::vector<std::string> paths;
  for (int comPort = 0; comPort <= 9; ++comPort) paths.push_back(SerialDevicePath(file, comPort));
  return [paths](int comPort) {
    return comPort >= 0 && comPort < static_cast<int>(paths.size())
               ? paths[static_cast<std::size_t>(comPort)]
               : std::string();
  };
}

}  // namespace miravel
