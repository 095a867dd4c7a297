// miravel-terminal-emulator: a fingerprint terminal that speaks our wire
// protocol, for tests, demos and rehearsing in the office.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "core/AppError.h"
#include "core/Numbers.h"
#include "emulator/EmulatedTerminal.h"
#include "emulator/EmulatorServer.h"
#include "emulator/HostileReplies.h"
#include "emulator/PunchClock.h"
#include "emulator/RequestHandler.h"
#include "emulator/StateGenerator.h"
#include "emulator/TerminalState.h"

namespace {

using namespace miravel;
using namespace miravel::emulator;

constexpr const char* kHelp = R"(Kullanım: miravel-terminal-emulator [seçenekler]

Miravel'in kendi protokolünü konuşan bir parmak izi cihazı. Testler, tanıtım ve
program üzerinde alıştırma için: gerçek cihaz yerine bu program çalıştırılır ve
Miravel'in cihaz listesinde adresi (Ethernet) ya da seri portu (Comm Port) verilir.

Bağlantı:
  --listen HOST:PORT   TCP üzerinden dinler (varsayılan 127.0.0.1:4370; yalnız bu
                       bilgisayardan erişilir). Port 0 boş bir port seçer.
                       Hazır olunca ilk satır olarak "listening on HOST:PORT"
                       yazılır. Başka bir adres ancak açıkça verilirse kullanılır.
  --pty LINK           Seri hat: bir sözde uçbirim açar ve LINK'i ona bağlar
                       (ör. /tmp/cihaz1). Hazır olunca "serial on LINK" yazılır.
                       Miravel'de cihazlar.ini [seriportlar] bölümüne com1=LINK
                       yazılarak Com1 bu hatta yönlendirilir. --pty verilip
                       --listen verilmezse yalnız seri hat açılır.
  --machine N          Makine numarası (varsayılan: durum dosyasındaki, yoksa 1).
                       Seri hatta yalnız bu numaraya gelen isteklere yanıt verir.

Durum:
  --state FILE         Kullanıcılar, parmak izleri, hareket kayıtları ve saat
                       farkı bu dosyada tutulur (yoksa oluşturulur). Dosya
                       her değişiklikten sonra değil; bir bağlantı bittiğinde,
                       cihaz yarım saniye boşta kaldığında (değişiklikler hiç
                       durmazsa 10 saniyede bir) ve program SIGTERM ya da
                       Ctrl+C ile kapanırken güvenle yeniden yazılır.
                       Verilmezse her şey bellekte kalır. Biçim (UTF-8,
                       alanlar sekmeyle):
                         [terminal]  machine=N, clockoffset=saniye
                         [users]     sicil  ad  şifre  yetki(0-3)  etkin(0/1)
                         [templates] sicil  parmak(0-9)  şablon
                         [log]       sicil  durum  yıl  ay  gün  saat  dakika
                       Kayıtlar [log] satırlarının sırasıyla gönderilir.
                       Bilinmeyen bir anahtar, iki kez yazılmış bir anahtar,
                       kullanıcı ya da parmak satırıyla dosya okunmaz; hata
                       satırın numarasını verir.

Tanıtım verisi (durum dosyasına eklenir, dinlemeden önce yazılır):
  --generate-users N       N kişi (Türkçe adlarla), son sicilden sonra
  --generate-templates K   her kişiye K parmak izi (en çok 10)
  --generate-log N         son iş günlerine giriş/çıkış kayıtları, zaman sırasıyla
  --seed S                 aynı S aynı veriyi üretir (varsayılan 1)

Canlı cihaz:
  --punch-every-ms N       çalıştığı sürece (aktarım sürerken de) her N milisaniyede
                           bir parmak basılmış gibi kayıt ekler: cihazdaki kişilerden
                           biri, cihazın o anki saatiyle (son kayıttan önce olmamak
                           üzere), kişinin son kaydı giriş ise çıkış, değilse giriş.
                           Her yeni kayıt standart çıktıya "punched " ile başlayan
                           bir satırla, [log] satırı biçiminde yazılır. Cihazda en
                           az bir kişi olmalı (--generate-users).
                           Kayıt silme isteği yalnız programın aldığı kayıtları
                           siler; aktarım sırasında eklenenler cihazda kalır.

Test için arızalar:
  --drop-after-records N   kayıtların N tanesini gönderdikten sonra bağlantıyı keser
                           (seri hatta yanıtın kalanını göndermez)
  --delay-ms MS            her yanıttan önce MS milisaniye bekler
  --hostile KİP            kötü niyetli cihaz; selamlaşmadan sonraki her isteğe:
                             cop          rastgele baytlarla yanıt verir
                             asiri-sayi   gönderdiğinden çok fazla kayıt/kişi
                                          olduğunu söyler
                             sonsuz       toplu yüklemelerde sonu gelmeyen boş
                                          parçalar, öteki isteklere hiç bitmeyen
                                          yanıt gönderir
                             milyon-kisi  bir milyon kişilik cihaz gibi davranır
                             baska-makine seri hatta her makine numarasına
                                          yanıt verir, selamlaşmada sorulandan
                                          başka bir makine numarası söyler
                             hepsini-siler kayıt silme isteğinde kaç kayıt
                                          istenirse istensin bütün kayıtları
                                          siler
                             saati-tutmaz saat kurma isteğine tamam der ama
                                          kendi saatini değiştirmez
  --hostile-switch DOSYA   --hostile yalnız DOSYA varken geçerlidir; yoksa cihaz
                           düzgün yanıt verir (bağlantı ortasında bozulan cihaz)
  --refuse                 bağlantıyı kabul edip hemen kapatır (seri hatta susar)
  --refuse-clear           kayıt silme isteğini reddeder, kayıtlar cihazda kalır
  --drop-after-clear       kayıt silme isteğini yerine getirir, yanıtını göndermeden
                           bağlantıyı keser (yanıtı yolda kaybolan silme)
  --bytes-per-second N     yanıtları saniyede en çok N baytla gönderir (yavaş bir
                           seri hattın yerine)

Aynı anda tek bağlantıya hizmet verir; ikinci bağlantı sırasını bekler.
SIGTERM ya da Ctrl+C ile düzgünce kapanır.
)";

std::atomic<bool> stopRequested{false};

void OnStopSignal(int) {
  stopRequested = true;
}

struct Options {
  std::string statePath;
  std::optional<int> machine;
  GenerateOptions generate;
  std::optional<std::size_t> dropAfterRecords;
  std::optional<std::chrono::milliseconds> punchEvery;
  Hostility hostility = Hostility::kNone;
  ClearFault clearFault = ClearFault::kNone;
  std::string hostilitySwitch;
  ServerOptions server;
  bool listenGiven = false;
  bool help = false;
};

int NonNegative(std::string_view option, std::string_view text) {
  const int value = ParseInteger(text);
  if (value < 0) throw AppError(std::string(option) + " negatif olamaz");
  return value;
}

Options ParseArguments(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view name = argv[i];
    if (name == "--help" || name == "-h") {
      options.help = true;
      continue;
    }
    if (name == "--refuse") {
      options.server.refuse = true;
      continue;
    }
    if (name == "--refuse-clear" || name == "--drop-after-clear") {
      options.clearFault = name == "--refuse-clear" ? ClearFault::kRefuse : ClearFault::kDropReply;
      continue;
    }
    static constexpr std::string_view kWithValue[] = {"--state",
                                                      "--listen",
                                                      "--pty",
                                                      "--machine",
                                                      "--generate-users",
                                                      "--generate-templates",
                                                      "--generate-log",
                                                      "--seed",
                                                      "--drop-after-records",
                                                      "--delay-ms",
                                                      "--punch-every-ms",
                                                      "--hostile",
                                                      "--hostile-switch",
                                                      "--bytes-per-second"};
    if (std::find(std::begin(kWithValue), std::end(kWithValue), name) == std::end(kWithValue)) {
      throw AppError("bilinmeyen seçenek " + std::string(name) + " (--help)");
    }
    if (i + 1 >= argc) throw AppError(std::string(name) + " bir değer bekler (--help)");
    const std::string_view value = argv[++i];
    if (name == "--state") {
      options.statePath = value;
    } else if (name == "--listen") {
      options.server.listen = value;
      options.listenGiven = true;
    } else if (name == "--pty") {
      options.server.ptyLink = value;
    } else if (name == "--machine") {
      options.machine = NonNegative(name, value);
    } else if (name == "--generate-users") {
      options.generate.users = NonNegative(name, value);
    } else if (name == "--generate-templates") {
      options.generate.templatesPerUser = NonNegative(name, value);
    } else if (name == "--generate-log") {
      options.generate.logRecords = NonNegative(name, value);
    } else if (name == "--seed") {
      options.generate.seed = static_cast<std::uint64_t>(NonNegative(name, value));
    } else if (name == "--drop-after-records") {
      options.dropAfterRecords = static_cast<std::size_t>(NonNegative(name, value));
    } else if (name == "--hostile") {
      const auto mode = HostilityFromText(value);
      if (!mode) throw AppError("--hostile: bilinmeyen kip " + std::string(value) + " (--help)");
      options.hostility = *mode;
    } else if (name == "--hostile-switch") {
      options.hostilitySwitch = value;
    } else if (name == "--bytes-per-second") {
      options.server.bytesPerSecond = static_cast<std::size_t>(NonNegative(name, value));
    } else if (name == "--punch-every-ms") {
      const int every = NonNegative(name, value);
      if (every == 0) throw AppError("--punch-every-ms en az 1 olmalı");
      options.punchEvery = std::chrono::milliseconds(every);
    } else {  // --delay-ms
      options.server.delay = std::chrono::milliseconds(NonNegative(name, value));
    }
  }
  if (!options.listenGiven && options.server.ptyLink.empty()) {
    options.server.listen = "127.0.0.1:4370";
  }
  return options;
}

void InstallSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no restart: a blocked wait returns and sees the flag
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

int Run(const Options& options) {
  TerminalState state;
  if (!options.statePath.empty()) LoadStateFile(options.statePath, state);
  if (options.machine) state.machineNumber = *options.machine;
  Generate(state, options.generate, std::time(nullptr));
  if (!options.statePath.empty()) SaveStateFile(options.statePath, state);

  if (options.punchEvery && state.users.empty()) {
    throw AppError("--punch-every-ms için cihazda en az bir kişi olmalı (--generate-users)");
  }

  EmulatedTerminal terminal(std::move(state), options.statePath);
  RequestHandler handler(terminal, options.dropAfterRecords);
  handler.SetHostility(options.hostility);
  handler.SetHostilitySwitch(options.hostilitySwitch);
  handler.SetClearFault(options.clearFault);
  std::optional<PunchClock> punches;
  if (options.punchEvery) {
    // Every record is announced, so a watcher knows exactly what the terminal
    // recorded, whatever a transfer later does with it.
    punches.emplace(terminal, *options.punchEvery, options.generate.seed,
                    [](const wire::LogRecord& record) {
                      std::printf("punched %s\n", FormatLogLine(record).c_str());
                      std::fflush(stdout);
                    });
  }
  EmulatorServer server(handler, options.server, punches ? &*punches : nullptr);
  InstallSignals();
  for (const std::string& line : server.Start()) std::printf("%s\n", line.c_str());
  std::fflush(stdout);
  server.Run(stopRequested);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const Options options = ParseArguments(argc, argv);
    if (options.help) {
      std::fputs(kHelp, stdout);
      return 0;
    }
    return Run(options);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "miravel-terminal-emulator: %s\n", error.what());
    return 1;
  }
}
