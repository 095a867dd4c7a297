#include <gtest/gtest.h>

#include <string>

#include "core/DeviceSettings.h"
#include "core/IniFile.h"
#include "tests/support/TempFolder.h"

namespace miravel {
namespace {

using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

class DeviceSettingsTest : public ::testing::Test {
 protected:
  IniFile& Load(const std::string& bytes) {
    WriteFile(path_, bytes);
    ini_ = std::make_unique<IniFile>(path_);
    return *ini_;
  }

  TempFolder dir_;
  const std::string path_ = dir_ / "cihazlar.ini";
  std::unique_ptr<IniFile> ini_;
};

TEST_F(DeviceSettingsTest, SaveRenumbersWithoutGapsAndLeavesSettingsAlone) {
  const std::string settings = "[ayarlar]\r\n; elle\r\ndosya=kayit.txt\r\nsilkontrol=0\r\n";
  IniFile& ini = Load("[cihaz2]\r\nadi=iki\r\nipadres=10.0.0.2\r\n" + settings +
                      "[cihaz7]\r\nadi=yedi\r\nbaglantitipi=Comm Port\r\nportno=Com2\r\n");
  const DeviceList list = LoadDeviceList(ini);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, "iki");
  EXPECT_EQ(list[0].ipAddress, "10.0.0.2");
  EXPECT_EQ(list[1].name, "yedi");
  EXPECT_EQ(list[1].comPort, "Com2");

  SaveDeviceList(ini, {ToRow(list[0]), ToRow(list[1])});
  const std::string written = ReadFile(path_);
  EXPECT_EQ(written.find("[cihaz7]"), std::string::npos);
  EXPECT_EQ(written.substr(0, settings.size()), settings);
  EXPECT_EQ(written.substr(settings.size(), 10), "[cihaz1]\r\n");
  IniFile reloaded(path_);
  EXPECT_EQ(LoadDeviceList(reloaded), list);
  EXPECT_TRUE(reloaded.SectionExists("cihaz2"));
  EXPECT_FALSE(reloaded.SectionExists("cihaz7"));
  EXPECT_EQ(reloaded.ReadString("cihaz2", "baglantitipi", "-"), "Comm Port");
}

TEST_F(DeviceSettingsTest, OnlyCihaz1To256AreDevices) {
  EXPECT_TRUE(LoadDeviceList(Load("[cihaz300]\r\nadi=x\r\n[cihaz0]\r\nadi=y\r\n")).empty());
  const DeviceList list = LoadDeviceList(Load("[cihaz257]\r\nadi=x\r\n[cihaz256]\r\nadi=y\r\n"));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name, "y");
}

TEST_F(DeviceSettingsTest, MissingKeysTakeTheirDefaultsAndLongValuesAreCut) {
  const DeviceList list =
      LoadDeviceList(Load("[cihaz1]\r\nipadres=10.0.0.1\r\n"
                          "[cihaz2]\r\nadi=\xC7\xFDk\xFD\xFE Kap\xFDs\xFD Arka Bah\xE7"
                          "esi\r\nparola=12345678\r\n"
                          "gcdurum=Her Zaman \xC7\xFDk\xFD\xFE\r\n"));
  ASSERT_EQ(list.size(), 2u);
  DeviceEntry expected;
  expected.name = "deneme";
  expected.ipAddress = "10.0.0.1";
  EXPECT_EQ(list[0], expected);
  EXPECT_EQ(list[1].name, "Çıkış Kapısı Arka Ba");  // 25 characters cut to 20
  EXPECT_EQ(list[1].password, "123456");
  EXPECT_EQ(list[1].inOutMode, kInOutAlwaysOut);
}

TEST_F(DeviceSettingsTest, SaveWritesWholeCellsInTheCodePage) {
  IniFile& ini = Load("");
  DeviceRow row = ToRow(DeviceEntry{});
  row[0] = "Çıkış Kapısı Arka Bahçesi";
  row[8] = kInOutAlwaysIn;
  SaveDeviceList(ini, {row});
  EXPECT_EQ(ReadFile(path_),
            "[cihaz1]\r\nadi=\xC7\xFDk\xFD\xFE Kap\xFDs\xFD Arka Bah\xE7"
            "esi\r\n"
            "baglantitipi=\r\nmakineno=\r\nportno=\r\nbaudrate=\r\nipadres=\r\n"
            "ipport=\r\nparola=\r\ngcdurum=Her Zaman Giri\xFE\r\n");
}

TEST_F(DeviceSettingsTest, RecordFileAndDeleteFlag) {
  const std::pair<const char*, bool> flags[] = {{"1", true},    {" 1 ", true}, {"0", false},
                                                {"yes", false}, {"01", false}, {"", false}};
  for (const auto& [text, on] : flags) {
    EXPECT_EQ(
        LoadAppSettings(Load(std::string("[ayarlar]\r\nsilkontrol=") + text)).deleteAfterTransfer,
        on)
        << text;
  }
  for (const char* blank : {"dosya=", "dosya=   ", "dosya=\t\x01", "x=1"}) {
    EXPECT_EQ(LoadAppSettings(Load(std::string("[ayarlar]\r\n") + blank)).recordFilePath,
              kDefaultRecordFile)
        << blank;
  }
  const AppSettings none = LoadAppSettings(Load("[cihaz1]\r\n"));
  EXPECT_EQ(none.recordFilePath, kDefaultRecordFile);
  EXPECT_TRUE(none.deleteAfterTransfer);

  IniFile& ini = Load("");
  WriteRecordFilePath(ini, "/srv/kayıt/tr500.txt");
  WriteDeleteAfterTransfer(ini, false);
  IniFile reloaded(path_);
  EXPECT_EQ(LoadAppSettings(reloaded).recordFilePath, "/srv/kayıt/tr500.txt");
  EXPECT_FALSE(LoadAppSettings(reloaded).deleteAfterTransfer);
}

TEST_F(DeviceSettingsTest, SerialPortsMapOrFollowTheComNumber) {
  IniFile& ini = Load("[seriportlar]\r\ncom2=/dev/ttyUSB0\r\n");
  EXPECT_EQ(SerialDevicePath(ini, 1), "/dev/ttyS0");
  EXPECT_EQ(SerialDevicePath(ini, 2), "/dev/ttyUSB0");
  EXPECT_EQ(SerialDevicePath(ini, 4), "/dev/ttyS3");
}

}  // namespace
}  // namespace miravel
