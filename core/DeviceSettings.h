#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace miravel {

class IniFile;

// One configured terminal: nine text fields, cut to their widths (in
// characters) whenever they are copied into the list.
struct DeviceEntry {
  std::string name;            // adi, 20
  std::string connectionType;  // baglantitipi, 10: "Ethernet" or "Comm Port"
  std::string machineNumber;   // makineno, 5
  std::string comPort;         // portno, 5: "Com1".."Com4"
  std::string baudRate;        // baudrate, 6
  std::string ipAddress;       // ipadres, 16
  std::string ipPort;          // ipport, 5
  std::string password;        // parola, 6
  std::string inOutMode;       // gcdurum, 20

  bool operator==(const DeviceEntry&) const = default;
};

using DeviceList = std::vector<DeviceEntry>;

// The nine fields of a device as text, in the order of the file's keys (and of
// the settings window's grid columns 0 to 8).
using DeviceRow = std::array<std::string, 9>;

inline constexpr int kMaxDevices = 256;
inline constexpr const char* kConnectionEthernet = "Ethernet";
inline constexpr const char* kConnectionSerial = "Comm Port";
inline constexpr const char* kInOutStandard = "Standart";
inline constexpr const char* kInOutAlwaysIn = "Her Zaman Giriş";
inline constexpr const char* kInOutAlwaysOut = "Her Zaman Çıkış";
inline constexpr const char* kDefaultRecordFile = "tr500.txt";

struct AppSettings {
  std::string recordFilePath = kDefaultRecordFile;  // dosya
  bool deleteAfterTransfer = true;                  // silkontrol
};

// Field i of the row form, with its key name and width.
struct DeviceField {
  const char* key;
  std::size_t width;
};
extern const std::array<DeviceField, 9> kDeviceFields;

DeviceRow ToRow(const DeviceEntry& entry);
// Cuts each field to its width.
DeviceEntry FromRow(const DeviceRow& row);
// The fields whole, as a settings grid row holds them before it is saved.
DeviceEntry WholeEntryOf(const DeviceRow& row);

AppSettings LoadAppSettings(const IniFile& file);
// Sections cihaz1..cihaz256 in number order; missing numbers are skipped.
DeviceList LoadDeviceList(const IniFile& file);

void WriteRecordFilePath(IniFile& file, const std::string& path);
void WriteDeleteAfterTransfer(IniFile& file, bool on);

// Erases every section cihaz1..cihaz256 and writes rows[i] whole (not cut) as
// section cihaz(i+1). The ayarlar section is not touched.
void SaveDeviceList(IniFile& file, const std::vector<DeviceRow>& rows);

// The serial device for COM port n: key "com<n>" of section seriportlar when
// present, else /dev/ttyS(n-1).
std::string SerialDevicePath(const IniFile& file, int comPort);
// SerialDevicePath of every COM port a device row can name (0 to 9), read
// now: for connections made on other threads, which must not read the file
// (the INI layer is not safe from two threads). Any other port gives "".
std::function<std::string(int comPort)> SerialDevicePathsNow(const IniFile& file);

}  // namespace miravel
