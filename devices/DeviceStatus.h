#pragma once

namespace miravel {

// What the settings window's status column ("İşlem Durumu") shows.
namespace device_status {
inline constexpr const char* kChecking = "Kontrol Ediliyor";
inline constexpr const char* kConnected = "Bağlantı Kuruldu";
// Also the message of the personnel hand-over when its terminal does not answer.
inline constexpr const char* kRefused = "Bağlantı Kurulamadı";
// The test of all connections was stopped before this row's turn.
inline constexpr const char* kNotTested = "Test Edilmedi";
inline constexpr const char* kReadingClock = "Tarih/saat Okunuyor";
inline constexpr const char* kClockRead = "Tarih/Saat okundu";
inline constexpr const char* kSettingClock = "Tarih/saat kaydediliyor";
inline constexpr const char* kClockSet = "Tarih/Saat Kaydedildi";
inline constexpr const char* kClearingAdministrators = "Yetkililer siliniyor";
inline constexpr const char* kAdministratorsCleared = "Yetkililer silindi";
inline constexpr const char* kResetting = "Cihaz Sıfırlanıyor";
inline constexpr const char* kResetDone = "Cihaz Sıfırlandı";
// Connected, but the terminal said no to the clock, administrator or erase
// call: its success text would claim what did not happen.
inline constexpr const char* kDeviceRefused = "Cihaz işlemi yapmadı";
}  // namespace device_status

}  // namespace miravel
