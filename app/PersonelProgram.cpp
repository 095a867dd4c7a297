#include "app/PersonelProgram.h"

#include <filesystem>

#include "app/ArgumentReader.h"
#include "app/ConsoleBar.h"
#include "core/AppError.h"
#include "core/DeviceSettings.h"
#include "core/IniFile.h"
#include "core/Numbers.h"
#include "core/StopRequest.h"
#include "personnel/PersonnelCommands.h"
#include "terminal/DeviceConnection.h"

namespace miravel {
namespace {

constexpr NamedVerb<PersonelVerb> kVerbs[] = {
    {"al", PersonelVerb::kCopyPersonal},
    {"gonder", PersonelVerb::kSendPersonal},
    {"parmakizi-al", PersonelVerb::kCopyTemplates},
    {"parmakizi-gonder", PersonelVerb::kSendTemplates},
    {"liste", PersonelVerb::kListTerminal},
    {"pc-liste", PersonelVerb::kListStore},
};

bool TakesPersons(PersonelVerb verb) {
  return verb != PersonelVerb::kListTerminal && verb != PersonelVerb::kListStore;
}

// The two "al" verbs choose among the terminal's users, the two "gonder"
// verbs among the persons of the store.
bool ChoosesOnTerminal(PersonelVerb verb) {
  return verb == PersonelVerb::kCopyPersonal || verb == PersonelVerb::kCopyTemplates;
}

std::vector<std::string> ParsePerNoList(const std::string& text) {
  std::vector<std::string> perNos;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    const std::string item =
        text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    int number = -1;
    try {
      number = ParseInteger(item);
    } catch (const AppError&) {
    }
    if (number < 0) throw AppError("Geçersiz Per.No: " + item);
    perNos.push_back(FormatPerNo(number));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return perNos;
}

// Shows the commands' progress as a bar on stderr, and their closing word
// (the terminal's refusals) as a line there.
class ConsoleFeedback : public PersonnelFeedback {
 public:
  ConsoleFeedback(std::ostream& err, bool progressBar) : err_(err), bar_(err, progressBar) {}

  void ShowProgress(const std::string& caption) override {
    caption_ = caption;
    bar_.Draw(caption_, 0);
  }
  void SetProgress(int percent) override { bar_.Draw(caption_, percent); }
  void HideProgress() override { bar_.Clear(); }
  void ShowMessage(const std::string& text) override {
    bar_.Clear();
    err_ << text << "\n";
  }
  void WaitingForStore() override {
    // Said once, as a line of its own, so that a crontab's mail tells why the copy took long.
    if (toldWaiting_) return;
    toldWaiting_ = true;
    bar_.Clear();
    err_ << StoreBusyMessage() << "\n";
  }
  void ClearBar() { bar_.Clear(); }

 private:
  std::ostream& err_;
  ConsoleBar bar_;
  std::string caption_;
  bool toldWaiting_ = false;
};

// Lets go of the terminal and the detail file however the command ends.
class LeaveOnExit {
 public:
  explicit LeaveOnExit(PersonnelCommands& commands) : commands_(commands) {}
  ~LeaveOnExit() { commands_.Leave(); }
  LeaveOnExit(const LeaveOnExit&) = delete;
  LeaveOnExit& operator=(const LeaveOnExit&) = delete;

 private:
  PersonnelCommands& commands_;
};

// A field of a listing line: a tab or a line end in a name must not split it.
std::string Field(std::string text) {
  for (char& c : text) {
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

void PrintList(const PersonnelRows& list, std::ostream& out) {
  for (const PersonnelRows::Row& row : list.Rows()) {
    out << Field(row.texts[kPerNoColumn]) << '\t' << Field(row.texts[kNameColumn]) << '\t'
        << Field(row.texts[kPrivilegeColumn]) << '\t' << Field(row.texts[kCardColumn]) << '\t'
        << (row.fingerprint ? 1 : 0) << '\n';
  }
}

// Ticks the rows of the persons asked for, or every row; a person the list
// lacks stops the command before anything is copied.
void Choose(PersonnelList& list, const std::vector<std::string>& perNos, const char* where) {
  if (perNos.empty()) {
    TickAll(list);
    return;
  }
  std::string missing;
  const PerNoIndex rows(list);
  for (const std::string& perNo : perNos) {
    const int row = rows.Find(perNo);
    if (row < 0) {
      missing += (missing.empty() ? "" : ", ") + perNo;
    } else {
      list.SetTicked(row, true);
    }
  }
  if (!missing.empty()) throw AppError(std::string(where) + " olmayan Per.No: " + missing);
}

std::string Done(PersonelVerb verb, const PersonnelOutcome& outcome) {
  const std::string persons = std::to_string(outcome.handled - outcome.refused) + " kişinin ";
  switch (verb) {
    case PersonelVerb::kCopyPersonal:
      return persons + "bilgileri bilgisayara alındı";
    case PersonelVerb::kSendPersonal:
      return persons + "bilgileri cihaza gönderildi";
    case PersonelVerb::kCopyTemplates:
      return persons + "parmak izleri bilgisayara alındı";
    default:
      return persons + "parmak izleri cihaza gönderildi";
  }
}

}  // namespace

std::string PersonelUsage() {
  return "Kullanım: miravel-personel [--folder KLASÖR] --cihaz N KOMUT [--per-no A,B,...]\n"
         "\n"
         "Personel penceresinin komutlarını pencere açmadan çalıştırır: cihazdaki\n"
         "kişileri ve parmak izlerini bilgisayardaki personel kayıtlarına (personel/)\n"
         "alır ya da oradan cihaza gönderir. Cihaza personel penceresi gibi bağlanır.\n"
         "\n"
         "Komutlar:\n"
         "  al                cihazdaki kişilerin Per.No, isim, yetki ve şifresini\n"
         "                    bilgisayara alır (kart numarasını cihaz bilmez;\n"
         "                    bilgisayardaki kart numarası korunur)\n"
         "  gonder            bilgisayardaki kişileri cihaza gönderir (ismin ilk 8,\n"
         "                    şifrenin ilk 5 karakteri; kart numarası gönderilmez)\n"
         "  parmakizi-al      cihazdaki kişilerin parmak izlerini bilgisayara alır;\n"
         "                    bilgisayarda olmayan kişiyi de ekler\n"
         "  parmakizi-gonder  bilgisayardaki kişilerin parmak izlerini cihaza gönderir;\n"
         "                    cihazda olmayan kişiyi önce oluşturur\n"
         "  liste             cihazdaki kişileri Per.No sırasıyla yazar\n"
         "  pc-liste          bilgisayardaki kişileri personel.ini sırasıyla yazar\n"
         "                    (cihaza bağlanmaz, --cihaz gerekmez)\n"
         "Listelerin her satırı sekmeyle ayrılmış beş alandır: Per.No, isim, yetki,\n"
         "kart no, parmak izi (1 var, 0 yok).\n"
         "\n"
         "  --folder KLASÖR   cihazlar.ini ve personel/ klasörünün bulunduğu ofis\n"
         "                    klasörü (verilmezse MIRAVEL_KLASORU; o da yoksa\n"
         "                    cihazlar.ini oradaysa programın kendi klasörü;\n"
         "                    değilse ~/.local/share/miravel)\n"
         "  --cihaz N         cihaz listesinin N. satırındaki cihaz (1'den başlayarak)\n"
         "  --per-no A,B,...  yalnızca bu kişiler (ör. 12,345 ya da 00012); verilmezse\n"
         "                    al komutları cihazdaki, gonder komutları bilgisayardaki\n"
         "                    bütün kişiler için çalışır\n"
         "  --help            bu yardımı göster\n"
         "\n"
         "Çıkış durumu: 0 tamam; 1 cihaza bağlanılamadı; 2 bir hatayla durdu, cihaz\n"
         "kullanıcılarını ya da parmak izlerini listelemeyi reddetti, 100000 kişiden\n"
         "fazla kayıt bildirdi ya da bazı kişileri veya parmak izlerini kabul etmedi\n"
         "(ileti standart hatada; seçenek hatası, olmayan cihaz satırı ya da Per.No\n"
         "da 2 verir); 3 Ctrl+C ya da SIGTERM ile durduruldu (o ana kadar kopyalananlar\n"
         "yazılmış, kalanlar yazılmamış olarak).\n"
         "Bilgisayardaki kayıtlara yazan başka bir komut sürerken bekler (en çok\n" +
         WaitLimitText(kStoreLockWaitLimit) +
         ", standart hataya yazarak); sıra gelmezse hiçbir şey yazmadan 2 verir.\n"
         "\n"
         "Örnek, her gece 02:30'da 1. cihazın yedeği (crontab -e):\n"
         "  30 2 * * * miravel-personel --cihaz 1 al && miravel-personel --cihaz 1 parmakizi-al\n";
}

PersonelOptions ParsePersonelArguments(const std::vector<std::string>& arguments) {
  PersonelOptions options;
  std::string command;
  bool perNosGiven = false;
  ArgumentReader reader(arguments);
  while (const std::string* next = reader.Next()) {
    const std::string& argument = *next;
    if (reader.TakeCommonOption(argument, options.help, options.programFolder)) continue;
    if (argument == "--cihaz") {
      const std::string& text = reader.Value();
      int row = 0;
      try {
        row = ParseInteger(text);
      } catch (const AppError&) {
      }
      if (row < 1) throw AppError("Geçersiz cihaz satırı: " + text);
      options.deviceRow = row;
    } else if (argument == "--per-no") {
      options.perNos = ParsePerNoList(reader.Value());
      perNosGiven = true;
    } else {
      TakeCommandWord(argument, command);
    }
  }
  EndFolderWithSlash(options.programFolder);
  if (options.help) return options;
  options.verb = VerbNamed(command, kVerbs);
  if (options.deviceRow == 0 && options.verb != PersonelVerb::kListStore) {
    throw AppError("--cihaz N verilmedi");
  }
  if (perNosGiven && !TakesPersons(options.verb)) {
    throw AppError("--per-no yalnız al, gonder, parmakizi-al ve parmakizi-gonder ile kullanılır");
  }
  return options;
}

int RunPersonel(const PersonelOptions& options, TerminalClient& terminal, std::ostream& out,
                std::ostream& err, bool progressBar, const StopRequest* stop) {
  ConsoleFeedback feedback(err, progressBar);
  const auto interrupted = [&] {
    feedback.ClearBar();
    err << "Durduruldu; o ana kadar kopyalananlar yazıldı, kalanlar yazılmadı.\n";
    return kPersonelInterrupted;
  };
  try {
    PersonnelStore store(options.programFolder);
    PersonnelRows terminalList;
    PersonnelRows storeList;
    PersonnelTerminal session{terminal};
    PersonnelCommands commands(session, store, terminalList, storeList, feedback);
    commands.SetStoreWaitLimit(options.storeWaitLimit);
    commands.SetStopRequest(stop);
    if (options.verb == PersonelVerb::kListStore) {
      commands.LoadStoreList();
      if (commands.Stopped()) return interrupted();
      PrintList(storeList, out);
      return kPersonelDone;
    }

    const std::string settingsPath = options.programFolder + "cihazlar.ini";
    if (!std::filesystem::exists(settingsPath)) {
      throw AppError("cihazlar.ini bulunamadı: " + settingsPath);
    }
    const DeviceList devices = LoadDeviceList(IniFile(settingsPath));
    if (options.deviceRow > static_cast<int>(devices.size())) {
      err << "Geçersiz cihaz satırı: " << options.deviceRow << " (" << devices.size()
          << " cihaz var)\n\n"
          << PersonelUsage();
      return kPersonelStopped;
    }
    const DeviceEntry& device = devices[static_cast<std::size_t>(options.deviceRow - 1)];
    if (!commands.Connect(PersonnelTargetOf(device))) {
      err << "Bağlantı Kurulamadı: " << options.deviceRow << " " << device.name << "\n";
      return kPersonelUnreachable;
    }
    LeaveOnExit leave(commands);
    if (options.verb == PersonelVerb::kListTerminal) {
      commands.LoadTerminalList();
      if (commands.Stopped()) return interrupted();
      commands.MarkTerminalFingerprints();
      if (commands.Stopped()) return interrupted();
      PrintList(terminalList, out);
      return kPersonelDone;
    }

    // The terminal's list first: one it cannot give stops the command before
    // the store is touched.
    commands.LoadTerminalList();
    if (commands.Stopped()) return interrupted();
    commands.LoadStoreList();
    if (commands.Stopped()) return interrupted();
    if (ChoosesOnTerminal(options.verb)) {
      Choose(terminalList, options.perNos, "Cihazda");
    } else {
      Choose(storeList, options.perNos, "Bilgisayarda");
    }
    PersonnelOutcome outcome;
    switch (options.verb) {
      case PersonelVerb::kCopyPersonal:
        outcome = commands.CopyPersonalToStore();
        break;
      case PersonelVerb::kSendPersonal:
        outcome = commands.SendPersonalToTerminal();
        break;
      case PersonelVerb::kCopyTemplates:
        outcome = commands.CopyTemplatesToStore();
        break;
      default:
        outcome = commands.SendTemplatesToTerminal();
        break;
    }
    out << Done(options.verb, outcome) << "\n";
    if (commands.Stopped()) return interrupted();
    return outcome.refused > 0 ? kPersonelStopped : kPersonelDone;
  } catch (const std::exception& error) {
    feedback.ClearBar();
    err << error.what() << "\n";
    return stop != nullptr && stop->Requested() ? kPersonelInterrupted : kPersonelStopped;
  }
}

}  // namespace miravel
