// miravel-cihaz-dogrula: runs the conformance checks of our terminal protocol
// against a terminal or a bridge and prints one Turkish line per check.
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

#include "conformance/ConformanceRun.h"
#include "conformance/ReportText.h"
#include "core/AppError.h"
#include "core/Numbers.h"

namespace {

using namespace miravel;
using namespace miravel::conformance;

constexpr int kBadUse = 2;

constexpr const char* kHelp = R"(Kullanım: miravel-cihaz-dogrula HOST:PORT [seçenekler]
          miravel-cihaz-dogrula --seri AYGIT --makine N [seçenekler]

Bir parmak izi cihazının ya da bir köprü programının Miravel'in cihaz
protokolünü (PROTOCOL.md) doğru konuşup konuşmadığını sınar. Her denetim için
bir satır yazar: GEÇTİ, KALDI ya da ATLANDI, gönderilen istek, gelen yanıt ve
kalan bir denetimde bozulan PROTOCOL.md paragrafı. Varsayılan olarak yalnız
okur; cihazda hiçbir şeyi değiştirmez.

Bağlantı:
  HOST:PORT            TCP ile bağlanır (ör. 127.0.0.1:4370); adres sayıyla
                       yazılır, ad çözülmez.
  --seri AYGIT         seri hattan bağlanır (ör. /dev/ttyUSB0); --makine gerekir.
  --makine N           isteklerdeki makine numarası. Seri hatta cihaz yalnız
                       buna yanıt vermeli; TCP'de verilmezse cihazın
                       selamlaşmada söylediği numara kullanılır.
  --hiz BAUD           seri hattın hızı (varsayılan 115200).

Yazan denetimler (CİHAZI DEĞİŞTİRİR):
  --yazarak            okumalardan sonra yazar da ve cihazı bulduğu gibi bırakır:
                       kullanılmayan bir sicille bir deneme kişisi yazılır, geri
                       okunur, ona parmak izi yazılıp silinir, kişi silinir;
                       saat kurulur ve geri alınır. Çalışan bir cihazda,
                       kimse parmak basmazken kullanın.
  --kayit-silinebilir  --yazarak ile birlikte: sayıyla kayıt silmeyi de sınar ve
                       cihazın hareket kayıtlarının İLK İKİSİNİ GERİ GELMEZ
                       biçimde SİLER. Yalnız kayıtları silinebilecek bir deneme
                       cihazında verin (en az 2 kayıt gerekir). Verilmezse bu
                       denetim atlanır.

Süreler:
  --ilerleme-siniri SN bir çağrının ilerlemesiz (ne yanıt ne öğe getiren bir
                       parça) kalabileceği en uzun süre; varsayılan 30, Miravel'in
                       kendi sınırı. Daha kısası denetimi sıkılaştırır ve sonu
                       gelmeyen yanıtları çabuk keser. Sessizlik sınırı 10 s,
                       selamlaşmanınki 3 s; ikisi de bu sınırı aşmaz.
  -h, --help           bu yardım.

Çıkış durumu: 0 kalan denetim yok, 1 en az bir denetim kaldı, 2 yanlış kullanım.
)";

struct Arguments {
  RunOptions run;
  bool help = false;
};

[[noreturn]] void BadUse(const std::string& text) {
  throw AppError(text + " (--help)");
}

void SetTcpTarget(std::string_view text, LinkTarget& target) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos || colon == 0)
    BadUse("HOST:PORT bekleniyordu: " + std::string(text));
  std::string host(text.substr(0, colon));
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  const int port = ParseInteger(text.substr(colon + 1));
  if (port < 1 || port > 65535) BadUse("port 1 ile 65535 arasında olmalı");
  target.host = host;
  target.port = port;
}

Arguments Parse(int argc, char** argv) {
  Arguments args;
  bool targetGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view name = argv[i];
    const auto value = [&]() -> std::string_view {
      if (i + 1 >= argc) BadUse(std::string(name) + " bir değer bekler");
      return argv[++i];
    };
    if (name == "-h" || name == "--help") {
      args.help = true;
    } else if (name == "--yazarak") {
      args.run.writing = true;
    } else if (name == "--kayit-silinebilir") {
      args.run.logMayBeCleared = true;
    } else if (name == "--seri") {
      args.run.target.serialDevice = value();
      targetGiven = true;
    } else if (name == "--makine") {
      args.run.machine = ParseInteger(value());
    } else if (name == "--hiz") {
      args.run.target.baudRate = ParseInteger(value());
    } else if (name == "--ilerleme-siniri") {
      const int seconds = ParseInteger(value());
      if (seconds < 1) BadUse("--ilerleme-siniri en az 1 olmalı");
      args.run.times.progress = std::chrono::seconds(seconds);
    } else if (!name.starts_with("-") && !targetGiven) {
      SetTcpTarget(name, args.run.target);
      targetGiven = true;
    } else {
      BadUse("bilinmeyen seçenek " + std::string(name));
    }
  }
  if (args.help) return args;
  if (!targetGiven) BadUse("HOST:PORT ya da --seri AYGIT gerekir");
  if (!args.run.target.host.empty() && !args.run.target.serialDevice.empty()) {
    BadUse("HOST:PORT ile --seri birlikte verilemez");
  }
  if (!args.run.target.serialDevice.empty() && !args.run.machine)
    BadUse("--seri ile --makine gerekir");
  if (args.run.logMayBeCleared && !args.run.writing)
    BadUse("--kayit-silinebilir yalnız --yazarak ile");
  // No wait of a check may outlast the progress bound it enforces.
  auto& times = args.run.times;
  times.quiet = std::min(times.quiet, times.progress);
  times.hello = std::min(times.hello, times.progress);
  times.silence = std::min(times.silence, times.progress);
  return args;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  try {
    args = Parse(argc, argv);
  } catch (const AppError& error) {
    std::fprintf(stderr, "miravel-cihaz-dogrula: %s\n", error.what());
    return kBadUse;
  }
  if (args.help) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  const LinkTarget& target = args.run.target;
  const std::string where =
      target.serialDevice.empty()
          ? target.host + ":" + std::to_string(target.port) + " (TCP)"
          : target.serialDevice + " (seri hat, makine " + std::to_string(*args.run.machine) + ")";
  std::printf("Miravel cihaz doğrulaması: %s, %s\n", where.c_str(),
              !args.run.writing          ? "yalnız okuyarak"
              : args.run.logMayBeCleared ? "yazarak, kayıt silerek"
                                         : "yazarak");
  std::fflush(stdout);
  const auto start = std::chrono::steady_clock::now();
  const auto results = RunChecks(args.run, [](const CheckResult& result) {
    std::printf("%s\n", ReportLine(result).c_str());
    std::fflush(stdout);
  });
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  std::printf("%s\n", SummaryLine(results, took).c_str());
  return ExitCodeOf(results);
}
