#include "app/AktarCommand.h"

#include <sys/stat.h>

#include <map>

#include "app/ArgumentReader.h"
#include "app/ConsoleBar.h"
#include "core/AppError.h"
#include "core/DeviceSettings.h"
#include "core/IniFile.h"
#include "core/Numbers.h"
#include "core/OfficeFolder.h"
#include "transfer/RecordLine.h"
#include "transfer/TransferRun.h"

namespace miravel {
namespace {

// The device list holds at most 256 rows: more threads could never be used.
constexpr int kMostParallelReads = 256;

// Prints each row's outcome as soon as the run is done with it.
class ConsoleSink : public TransferSink {
 public:
  ConsoleSink(const DeviceList& devices, const std::vector<bool>& ticked, bool clearLog,
              std::ostream& out, std::ostream& err, bool progressBar)
      : devices_(devices),
        ticked_(ticked),
        clearLog_(clearLog),
        out_(out),
        err_(err),
        bar_(err, progressBar) {}

  void StatusChanged(int row, RowStatus status) override { status_[row] = status; }

  void ProgressChanged(int row, int percent) override {
    if (percent != 0) bar_.Draw(devices_[row - 1].name, percent);
  }

  bool ShouldClearLog() override { return clearLog_; }
  void TerminalTransferred(int row, int records) override { taken_[row] = records; }
  void AlreadyDelivered(int row, int records) override { alreadyDelivered_[row] = records; }
  void UserNumbersCut(int row, int records) override { cut_[row] = records; }
  void ClockWrong(int row, const ClockWarning& warning) override { clock_[row] = warning; }
  void LogReadRefused(int row) override { readRefused_[row] = true; }
  void LogClearRefused(int row) override { clearRefused_[row] = true; }
  void RecordsSetAside(int row, int records, const std::string& file) override {
    setAside_[row] = {records, file};
  }
  void LedgerUnreadable(const std::string& problem, int maybeTwice) override {
    ClearBar();
    err_ << problem << " Bu aktarımda alınan " << maybeTwice
         << " kayıttan bazıları kayıt dosyasında ikinci kez yer alıyor olabilir.\n"
         << std::flush;
    ledgerUnreadable_ = true;
  }
  void WaitingForOtherTransfer(bool waiting) override {
    if (waiting) err_ << "Başka bir aktarım sürüyor, bekleniyor…\n" << std::flush;
  }

  void RowStopped(int row) override { stoppedRows_[row] = true; }
  void LogClearLeft(int row) override { clearLeft_[row] = true; }
  void TransferStopped(bool replaced) override {
    ClearBar();
    if (replaced) {
      err_ << "Aktarım durduruldu: kayıtlar aktarıldı; " << clearLeft_.size()
           << " satırın kayıtları cihazdan silinmedi, bir sonraki aktarım yalnızca yenilerini "
              "alır ve hepsini siler.\n";
    } else {
      err_ << "Aktarım durduruldu: hiçbir kayıt aktarılmadı, hiçbir cihazın kayıtları "
              "silinmedi.\n";
    }
    err_ << std::flush;
    stopped_ = true;
  }

  void RowFinished(int row) override {
    ClearBar();
    const bool ticked = ticked_[row - 1];
    out_ << row << " " << devices_[row - 1].name << ": ";
    if (!ticked) {
      out_ << "seçilmedi";
    } else if (stoppedRows_.count(row) != 0) {
      out_ << "durduruldu, aktarılmadı";
      ++tried_;
    } else if (readRefused_.count(row) != 0) {
      out_ << "cihaz kayıtları vermedi, aktarılmadı";
      ++notDone_;
      ++tried_;
    } else if (taken_.count(row) != 0) {
      out_ << "aktarıldı, " << taken_[row] << " kayıt";
      if (alreadyDelivered_.count(row) != 0) {
        out_ << " (" << alreadyDelivered_[row] << " kayıt önceki bir aktarımda alınmıştı)";
      }
      if (cut_.count(row) != 0) out_ << "; " << CutUserNumbersNote(cut_[row]);
      // Only a warning: the records are in the record file, the status stays.
      if (const auto clock = clock_.find(row); clock != clock_.end()) {
        out_ << "; "
             << ClockWarningNote(clock->second,
                                 "miravel-cihaz --cihaz " + std::to_string(row) + " saat-ayarla");
      }
      ++tried_;
      if (const auto aside = setAside_.find(row); aside != setAside_.end()) {
        out_ << "; " << aside->second.first
             << " kaydın tarihi ya da saati geçersiz, aktarılmadı, şuraya ayrıldı: "
             << aside->second.second;
        ++notDone_;
      }
      if (clearRefused_.count(row) != 0) {
        out_ << "; cihaz kayıtları silmedi, kayıtlar cihazda duruyor";
        ++notDone_;
      }
      if (clearLeft_.count(row) != 0) out_ << "; durdurulduğu için kayıtlar cihazdan silinmedi";
    } else if (status_[row] == RowStatus::kFailed) {
      out_ << "bağlantı kurulamadı";
      ++notDone_;
      ++tried_;
    } else {
      // The window leaves such a row as it was; a schedule must hear that this
      // terminal's records are not being collected, or it shows success for ever.
      out_ << "bağlantı tipi tanınmadı, atlandı";
      err_ << row << " " << devices_[row - 1].name << ": bağlantı türü tanınmadı: '"
           << devices_[row - 1].connectionType << "'\n";
      ++notDone_;
    }
    out_ << "\n" << std::flush;
  }

  void ClearBar() { bar_.Clear(); }

  // Rows not transferred whole: unreachable, of an unknown connection type,
  // log refused, records set aside, or log not cleared; or a ledger that
  // could not be read.
  int NotDone() const { return notDone_ + (ledgerUnreadable_ ? 1 : 0); }
  // Rows the run tried to reach.
  int Tried() const { return tried_; }
  // The run ended early on the stop request.
  bool Stopped() const { return stopped_; }

 private:
  const DeviceList& devices_;
  const std::vector<bool>& ticked_;
  bool clearLog_;
  std::ostream& out_;
  std::ostream& err_;
  ConsoleBar bar_;
  std::map<int, RowStatus> status_;
  std::map<int, int> taken_;
  std::map<int, int> alreadyDelivered_;
  std::map<int, int> cut_;
  std::map<int, ClockWarning> clock_;
  std::map<int, bool> readRefused_;
  std::map<int, bool> clearRefused_;
  std::map<int, bool> stoppedRows_;
  std::map<int, bool> clearLeft_;
  bool stopped_ = false;
  std::map<int, std::pair<int, std::string>> setAside_;
  bool ledgerUnreadable_ = false;
  int notDone_ = 0;
  int tried_ = 0;
};

bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.empty() ? "." : path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

}  // namespace

std::string AktarUsage() {
  return "Kullanım: miravel-aktar [--folder KLASÖR] [--only N,N...] [--paralel N]\n"
         "                     [--yeniden-al]\n"
         "\n"
         "Ana penceredeki \"Bilgileri Aktar\" komutunu pencere açmadan çalıştırır:\n"
         "seçili cihazlardaki kayıtları kayıt dosyasına ve günlük yedeğe aktarır.\n"
         "\n"
         "  --folder KLASÖR  cihazlar.ini ve yedekler/ klasörünün bulunduğu ofis\n"
         "                   klasörü (verilmezse MIRAVEL_KLASORU; o da yoksa\n"
         "                   cihazlar.ini oradaysa programın kendi klasörü;\n"
         "                   değilse ~/.local/share/miravel)\n"
         "  --only N,N...    yalnızca bu satırları (1'den başlayarak) aktar;\n"
         "                   verilmezse bütün satırlar aktarılır\n"
         "  --paralel N      ayrı hatlardaki (ayrı adres ve port ya da ayrı seri\n"
         "                   port) en çok N cihazı aynı anda okur (varsayılan " +
         std::to_string(kDefaultParallelReads) +
         ");\n"
         "                   aynı hattaki satırlar sırayla okunur. Kayıt dosyası\n"
         "                   bir kez yenilenir, sonra cihazların kayıtları silinir.\n"
         "                   1: cihazlar birer birer okunur\n"
         "  --yeniden-al     cihazlarda duran bütün kayıtları, daha önce aktarılmış\n"
         "                   olsalar da yeniden aktarır (kayıt dosyası kaybolduysa;\n"
         "                   kayıt dosyasında duran kayıtlar ikinci kez eklenir)\n"
         "  --help           bu yardımı göster\n"
         "\n"
         "Aynı kayıt dosyasına başka bir aktarım sürüyorsa onun bitmesi en çok\n"
         "10 dakika beklenir.\n"
         "\n"
         "Çıkış durumu: 0 seçili bütün cihazlar aktarıldı; 1 bazı cihazlara\n"
         "bağlanılamadı, bir cihazın bağlantı türü tanınmadı, bir cihaz\n"
         "kayıtlarını vermedi veya silmedi, tarihi geçersiz kayıtlar ayrıldı ya da\n"
         "teslim defteri okunamadı (ötekiler aktarıldı); 2 aktarım bir hatayla\n"
         "durdu (program klasörü ya da cihazlar.ini bulunamadı, başka aktarım\n"
         "bitmedi, dosya hatası...); 3 aktarım Ctrl+C (SIGINT) ya da SIGTERM ile\n"
         "durduruldu.\n"
         "\n"
         "Ctrl+C ya da SIGTERM aktarımı ilk güvenli noktada durdurur: kayıt dosyası\n"
         "yenilenmeden önce durursa hiçbir kayıt aktarılmaz ve silinmez; yenilendikten\n"
         "sonra durursa silinmeyen kayıtları bir sonraki aktarım siler (teslim defteri\n"
         "aynı kaydın iki kez alınmasını önler). İkinci bir sinyal programı hemen\n"
         "bitirir; dosyalar bunu da bir öldürme gibi atlatır.\n"
         "\n"
         "Bir cihazın saati bu bilgisayarınkinden 2 dakikadan fazla farklıysa ya da\n"
         "cihaz bir günden fazla ileri tarihli kayıt verdiyse satırında söylenir;\n"
         "kayıtlar yine cihazın yazdığı gibi aktarılır ve çıkış durumu değişmez.\n";
}

AktarOptions ParseAktarArguments(const std::vector<std::string>& arguments,
                                 const std::string& defaultFolder) {
  AktarOptions options;
  options.programFolder = defaultFolder;
  ArgumentReader reader(arguments);
  while (const std::string* next = reader.Next()) {
    const std::string& argument = *next;
    if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == "--folder") {
      options.programFolder = reader.Value();
    } else if (argument == "--only") {
      options.onlyRows = ParseRowList(reader.Value());
    } else if (argument == "--yeniden-al") {
      options.deliverAgain = true;
    } else if (argument == "--paralel") {
      const std::string& text = reader.Value();
      options.parallel = ParseInteger(text);
      if (options.parallel < 1 || options.parallel > kMostParallelReads) {
        throw AppError("--paralel 1 ile " + std::to_string(kMostParallelReads) +
                       " arasında olmalı: " + text);
      }
    } else {
      throw AppError("Bilinmeyen seçenek: " + argument);
    }
  }
  EndFolderWithSlash(options.programFolder);
  return options;
}

int RunAktar(const AktarOptions& options, const TerminalClientMaker& makeClient, std::ostream& out,
             std::ostream& err, bool progressBar, const StopRequest* stop,
             const Clock& pcClock) {
  try {
    // A schedule with a mistyped folder must fail, not report success for ever.
    const std::string settingsPath = options.programFolder + "cihazlar.ini";
    if (!IsFolder(options.programFolder)) {
      throw AppError("Program klasörü bulunamadı: " + options.programFolder);
    }
    if (!FileExists(settingsPath)) throw AppError("cihazlar.ini bulunamadı: " + settingsPath);
    IniFile settingsFile(settingsPath);
    const AppSettings settings = LoadAppSettings(settingsFile);
    TransferJob job;
    job.devices = LoadDeviceList(settingsFile);
    job.recordFilePath = RecordFileLocation(options.recordFileBase, settings.recordFilePath);
    job.programFolder = options.programFolder;
    job.deliverAgain = options.deliverAgain;
    job.clock = &pcClock;
    job.stop = stop;
    job.serialDeviceOf = [&settingsFile](int comPort) {
      return SerialDevicePath(settingsFile, comPort);
    };
    job.ticked.assign(job.devices.size(), options.onlyRows.empty());
    for (int row : options.onlyRows) {
      if (row > static_cast<int>(job.devices.size())) {
        throw AppError("Geçersiz satır numarası: " + std::to_string(row) + " (" +
                       std::to_string(job.devices.size()) + " cihaz var)");
      }
      job.ticked[row - 1] = true;
    }
    ConsoleSink sink(job.devices, job.ticked, settings.deleteAfterTransfer, out, err, progressBar);
    try {
      RunParallelTransfer(job, makeClient, sink, options.parallel);
    } catch (...) {
      sink.ClearBar();
      throw;
    }
    if (sink.Stopped()) return kAktarInterrupted;
    if (job.devices.empty()) {
      err << "cihazlar.ini içinde hiç cihaz yok; aktarılacak kayıt yok.\n";
    } else if (sink.Tried() == 0) {
      err << "Aktarılabilecek seçili cihaz yok; hiçbir kayıt aktarılmadı.\n";
    }
    return sink.NotDone() > 0 ? kAktarSomeUnreachable : kAktarAllTransferred;
  } catch (const std::exception& error) {
    err << error.what() << "\n";
    return kAktarStopped;
  }
}

}  // namespace miravel
