// personel.ini of any bytes: the list reads, or stops with the program's
// error, and every Per.No it gives is one the window can show.
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/AppError.h"
#include "core/Utf8.h"
#include "fuzz/FuzzSupport.h"
#include "personnel/PersonnelStore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const miravel::fuzz::ScratchFolder office;
  static const bool madeFolder = ::mkdir((office / "personel").c_str(), 0700) == 0;
  miravel::fuzz::Check(madeFolder, "no personel folder");
  const miravel::PersonnelStore store(office / "");
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  miravel::fuzz::WriteFile(store.ListPath(), bytes);
  try {
    for (const std::string& perNo : store.ReadList()) {
      const std::size_t chars = miravel::CharCount(perNo);
      miravel::fuzz::Check(chars >= 3 && chars <= 10, "a Per.No of the wrong length");
    }
  } catch (const miravel::AppError&) {
    // A line that is not a number stops the reading with its message.
  }
  return 0;
}
