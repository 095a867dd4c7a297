#include "app/CihazProgram.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "app/ArgumentReader.h"
#include "core/AppError.h"
#include "core/Clock.h"
#include "core/DeviceSettings.h"
#include "core/IniFile.h"
#include "core/Numbers.h"
#include "devices/ClockText.h"
#include "devices/DeviceCommands.h"
#include "devices/DeviceStatus.h"
#include "devices/RowsByLink.h"
#include "terminal/DeviceConnection.h"

namespace miravel {
namespace {

constexpr NamedVerb<CihazVerb> kVerbs[] = {
    {"test", CihazVerb::kTest},
    {"saat", CihazVerb::kClock},
    {"saat-ayarla", CihazVerb::kSetClock},
    {"yetkilileri-sil", CihazVerb::kClearAdministrators},
    {"sifirla", CihazVerb::kReset},
};

bool Erases(CihazVerb verb) {
  return verb == CihazVerb::kClearAdministrators || verb == CihazVerb::kReset;
}

// The connection test tries only "Ethernet" and exactly "Comm Port", as the
// window's does; the other commands connect as the window's clock,
// administrator and reset commands do.
const ConnectionRules& RulesOf(CihazVerb verb) {
  return verb == CihazVerb::kTest ? kTestConnection : kSettingsConnection;
}

// The status each command leaves on a row it did all it should on.
const char* DoneStatusOf(CihazVerb verb) {
  switch (verb) {
    case CihazVerb::kTest:
      return device_status::kConnected;
    case CihazVerb::kClock:
      return device_status::kClockRead;
    case CihazVerb::kSetClock:
      return device_status::kClockSet;
    case CihazVerb::kClearAdministrators:
      return device_status::kAdministratorsCleared;
    default:
      return device_status::kResetDone;
  }
}

// Keeps each row's last status. The commands empty the other rows' statuses
// when they start, as the window's grid shows one command at a time; here
// every row keeps what its own command said.
class RowStatusSink : public DeviceCommandSink {
 public:
  void StatusChanged(int device, const std::string& text) override {
    if (!text.empty()) status_[device] = text;
  }
  void Repaint() override {}
  void StripeRows() override {}
  // The reset runs only once --evet was given.
  bool ConfirmReset() override { return true; }

  std::string Of(int device) const {
    const auto found = status_.find(device);
    return found == status_.end() ? std::string() : found->second;
  }

 private:
  std::map<int, std::string> status_;
};

// What one row's command gave back, written by the row's own thread.
struct RowResult {
  bool finished = false;
  std::optional<ClockReading> reading;
  std::optional<ClockSetting> setting;
};

std::string Seconds(long long seconds) {
  return (seconds > 0 ? "+" : "") + std::to_string(seconds) + " sn";
}

// "09/12/2026  03:15:02 (fark +42 sn)", or why there is no clock.
std::string ClockWithDifference(const ClockReading& reading) {
  if (!reading.terminal) return "cihaz saatini bildirmedi";
  return reading.Text() + " (fark " + Seconds(*reading.Difference()) + ")";
}

class CihazRun {
 public:
  CihazRun(const CihazOptions& options, const DeviceList& devices, const std::vector<int>& rows,
           std::ostream& out)
      : options_(options), devices_(devices), rows_(rows), out_(out) {}

  // One line per row, in row order; whether every row was done.
  bool PrintLines(const RowStatusSink& sink, const std::vector<RowResult>& results) const;
  // Without --evet: what the command would erase, and on which terminals.
  void PrintWhatWouldBeErased() const;

 private:
  std::string Line(const std::string& status, const RowResult& result, bool& done) const;
  const DeviceEntry& Device(int device) const {
    return devices_[static_cast<std::size_t>(device - 1)];
  }

  const CihazOptions& options_;
  const DeviceList& devices_;
  const std::vector<int>& rows_;
  std::ostream& out_;
};

std::string CihazRun::Line(const std::string& status, const RowResult& result, bool& done) const {
  done = false;
  if (!result.finished) {
    return status.empty() ? "denenmedi (komut bir hatayla durdu)" : "komut bir hatayla durdu";
  }
  if (status == device_status::kChecking) return "bağlantı tipi tanınmadı, denenmedi";
  if (options_.verb == CihazVerb::kClock && result.reading && result.reading->terminal) {
    done = status == device_status::kClockRead;
    const ClockReading& r = *result.reading;
    return "cihaz " + r.Text() + ", bilgisayar " + FormatClockText(r.pc) + ", fark " +
           Seconds(*r.Difference());
  }
  if (options_.verb == CihazVerb::kSetClock && result.setting) {
    const ClockSetting& s = *result.setting;
    const std::string before = ClockWithDifference(*s.before);
    if (!s.sent) {
      done = true;
      return before + ": fark " + std::to_string(*options_.leastDifference) +
             " sn'den az, ayarlanmadı";
    }
    if (s.refused) return "önce " + before + "; " + device_status::kDeviceRefused;
    done = true;
    return "önce " + before + ", sonra " + ClockWithDifference(s.after);
  }
  done = status == DoneStatusOf(options_.verb);
  return status;
}

bool CihazRun::PrintLines(const RowStatusSink& sink, const std::vector<RowResult>& results) const {
  bool all = true;
  for (const int device : rows_) {
    bool done = false;
    const std::string line =
        Line(sink.Of(device), results[static_cast<std::size_t>(device - 1)], done);
    out_ << device << " " << Device(device).name << ": " << line << "\n";
    all = all && done;
  }
  out_.flush();
  return all;
}

void CihazRun::PrintWhatWouldBeErased() const {
  if (options_.verb == CihazVerb::kReset) {
    out_ << "sifirla şu cihazlarda kayıtlı bulunan tüm personel bilgilerini (kişiler,\n"
            "şifreler, parmak izleri) silecekti:\n";
  } else {
    out_ << "yetkilileri-sil şu cihazlardaki bütün yetkililerin yetkisini kaldıracaktı\n"
            "(kişiler ve parmak izleri cihazda kalır):\n";
  }
  for (const int device : rows_) {
    const DeviceEntry& entry = Device(device);
    out_ << "  " << device << " " << entry.name << " ("
         << LinkOf(TargetOf(entry, RulesOf(options_.verb))) << ")\n";
  }
  out_ << "Bu işlem geri alınamaz; hiçbir cihaza bağlanılmadı. Yapmak için komutu\n"
          "--evet ile yeniden çalıştırın.\n";
}

// The rows the command works on, in row order, each once.
std::vector<int> ChosenRows(const CihazOptions& options, const DeviceList& devices) {
  std::vector<int> rows;
  if (options.allDevices) {
    for (int device = 1; device <= static_cast<int>(devices.size()); ++device) {
      rows.push_back(device);
    }
    return rows;
  }
  for (const int row : options.deviceRows) {
    if (row > static_cast<int>(devices.size())) {
      throw AppError("Geçersiz cihaz satırı: " + std::to_string(row) + " (" +
                     std::to_string(devices.size()) + " cihaz var)");
    }
    rows.push_back(row);
  }
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

// Every chosen row's numbers, read before any terminal is contacted: a row
// that cannot be reached for a typing error stops the command with nothing
// touched, rather than after some terminals were changed.
void CheckNumbers(const CihazOptions& options, const DeviceList& devices,
                  const std::vector<int>& rows) {
  for (const int device : rows) {
    const DeviceEntry& entry = devices[static_cast<std::size_t>(device - 1)];
    try {
      const ConnectionTarget target = TargetOf(entry, RulesOf(options.verb));
      if (options.verb != CihazVerb::kTest && target.kind == ConnectionKind::kNetwork) {
        MachineNumberOf(entry);
      }
    } catch (const AppError& error) {
      throw AppError(std::to_string(device) + " " + entry.name + ": " + error.what());
    }
  }
}

}  // namespace

std::string CihazUsage() {
  return "Kullanım: miravel-cihaz [--folder KLASÖR] [--cihaz N,N... | --hepsi] KOMUT\n"
         "\n"
         "Ayarlar penceresinin cihaz komutlarını pencere açmadan, birçok cihazda\n"
         "birden çalıştırır. Ayrı hatlardaki (ayrı adres ve port ya da ayrı seri\n"
         "port) cihazlar aynı anda, aynı hattakiler sırayla; her cihaz için bir\n"
         "satır yazılır.\n"
         "\n"
         "Komutlar:\n"
         "  test                 bağlantı testi (\"Ethernet\" ya da \"Comm Port\")\n"
         "  saat                 cihazın saati, bilgisayarın saati ve farkı (saniye;\n"
         "                       + cihaz ileride)\n"
         "  saat-ayarla [--fark-en-az S]\n"
         "                       cihazın saatini bilgisayarın saatine ayarlar, önceki\n"
         "                       ve sonraki saati yazar; S verilirse yalnız en az S\n"
         "                       saniye farklı olanları\n"
         "  yetkilileri-sil --evet\n"
         "                       cihazdaki bütün yetkililerin yetkisini kaldırır\n"
         "  sifirla --evet       cihazdaki tüm personel bilgilerini siler\n"
         "İki silme komutu geri alınamaz: --evet verilmezse yalnız neyin hangi\n"
         "cihazlarda silineceğini yazar, hiçbir cihaza bağlanmaz ve 2 ile çıkar.\n"
         "\n"
         "  --folder KLASÖR   cihazlar.ini'nin bulunduğu ofis klasörü (verilmezse\n"
         "                    MIRAVEL_KLASORU; o da yoksa cihazlar.ini oradaysa\n"
         "                    programın kendi klasörü; değilse ~/.local/share/miravel)\n"
         "  --cihaz N,N...    cihaz listesinin bu satırları (1'den başlayarak)\n"
         "  --hepsi           listedeki bütün cihazlar\n"
         "  --fark-en-az S    saat-ayarla yalnız saati en az S saniye farklı olan\n"
         "                    cihazları ayarlar\n"
         "  --evet            yetkilileri-sil ve sifirla için onay\n"
         "  --help            bu yardımı göster\n"
         "\n"
         "Çıkış durumu: 0 her cihazda yapıldı; 1 bazı cihazlara bağlanılamadı ya da\n"
         "cihaz işlemi yapmadı; 2 seçenek hatası, --evet verilmedi ya da komut bir\n"
         "hatayla durdu (ileti standart hatada).\n"
         "\n"
         "Örnek, her gece saatleri 30 saniyeden fazla kaymış cihazları düzeltmek:\n"
         "  miravel-cihaz --hepsi saat-ayarla --fark-en-az 30\n";
}

CihazOptions ParseCihazArguments(const std::vector<std::string>& arguments) {
  CihazOptions options;
  std::string command;
  ArgumentReader reader(arguments);
  while (const std::string* next = reader.Next()) {
    const std::string& argument = *next;
    if (reader.TakeCommonOption(argument, options.help, options.programFolder)) continue;
    if (argument == "--cihaz") {
      options.deviceRows = ParseRowList(reader.Value());
    } else if (argument == "--hepsi") {
      options.allDevices = true;
    } else if (argument == "--fark-en-az") {
      const std::string& text = reader.Value();
      options.leastDifference = ParseInteger(text);
      if (*options.leastDifference < 0) throw AppError("--fark-en-az eksi olamaz: " + text);
    } else if (argument == "--evet") {
      options.yes = true;
    } else {
      TakeCommandWord(argument, command);
    }
  }
  EndFolderWithSlash(options.programFolder);
  if (options.help) return options;
  options.verb = VerbNamed(command, kVerbs);
  if (options.allDevices == !options.deviceRows.empty()) {
    throw AppError("--cihaz N,N... ya da --hepsi verilmeli (ikisi birden değil)");
  }
  if (options.leastDifference && options.verb != CihazVerb::kSetClock) {
    throw AppError("--fark-en-az yalnız saat-ayarla ile kullanılır");
  }
  if (options.yes && !Erases(options.verb)) {
    throw AppError("--evet yalnız yetkilileri-sil ve sifirla ile kullanılır");
  }
  return options;
}

int RunCihaz(const CihazOptions& options, const TerminalClientMaker& makeClient,
             const Clock& pcClock, std::ostream& out, std::ostream& err) {
  try {
    // A schedule with a mistyped folder must fail, not report success for ever.
    const std::string settingsPath = options.programFolder + "cihazlar.ini";
    if (!std::filesystem::exists(settingsPath)) {
      throw AppError("cihazlar.ini bulunamadı: " + settingsPath);
    }
    const DeviceList devices = LoadDeviceList(IniFile(settingsPath));
    const std::vector<int> rows = ChosenRows(options, devices);
    CheckNumbers(options, devices, rows);
    CihazRun run(options, devices, rows, out);
    if (rows.empty()) {
      err << "cihazlar.ini içinde hiç cihaz yok.\n";
      return kCihazAllDone;
    }
    if (Erases(options.verb) && !options.yes) {
      run.PrintWhatWouldBeErased();
      return kCihazStopped;
    }

    RowStatusSink sink;
    std::vector<RowResult> results(devices.size());
    const std::optional<long long> least =
        options.verb == CihazVerb::kSetClock
            ? std::optional<long long>(options.leastDifference.value_or(0))
            : std::nullopt;
    const RowCommand command = [&](DeviceCommands& commands, int device) {
      RowResult& result = results[static_cast<std::size_t>(device - 1)];
      switch (options.verb) {
        case CihazVerb::kTest:
          commands.TestConnection(devices, device);
          break;
        case CihazVerb::kClock:
          result.reading = commands.ReadClock(devices, device, pcClock);
          break;
        case CihazVerb::kSetClock:
          // Always read first (a least difference of 0 sets every clock), so
          // that the line can say how far off the clock was.
          result.setting = commands.SetClock(devices, device, pcClock, least);
          break;
        case CihazVerb::kClearAdministrators:
          commands.ClearAdministrators(devices, device);
          break;
        case CihazVerb::kReset:
          commands.Reset(devices, device);
          break;
      }
      result.finished = true;
    };
    try {
      RunRowsByLink(devices, rows, RulesOf(options.verb), makeClient, nullptr, sink, command);
    } catch (const std::exception& error) {
      run.PrintLines(sink, results);
      err << error.what() << "\n";
      return kCihazStopped;
    }
    return run.PrintLines(sink, results) ? kCihazAllDone : kCihazSomeNotDone;
  } catch (const std::exception& error) {
    err << error.what() << "\n";
    return kCihazStopped;
  }
}

}  // namespace miravel
