// Writes the seed inputs of the two protocol targets from real exchanges
// between the program's side and the emulator's, in both input forms
// (fuzz/FuzzWire.h): miravel_fuzz_seeds fuzz/corpus
// Run it again when the protocol changes, and commit what it writes.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "emulator/EmulatedTerminal.h"
#include "emulator/RequestHandler.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzWire.h"
#include "fuzz/Operations.h"

namespace {

using namespace miravel;

// The emulator answering in-process: what the program wrote, and the answers.
class EmulatorLink : public ByteStream {
 public:
  EmulatorLink() : terminal_(fuzz::SampleTerminal(), ""), handler_(terminal_, std::nullopt) {}
  std::size_t ReadSome(char* buffer, std::size_t size) override {
    const std::size_t take = std::min(size, replies_.size() - read_);
    std::copy_n(replies_.data() + read_, take, buffer);
    read_ += take;
    return take;
  }
  void WriteAll(std::string_view bytes) override {
    requests_ += bytes;
    decoder_.Feed(bytes.data(), bytes.size());
    wire::Frame frame;
    while (decoder_.Next(frame)) replies_ += handler_.Handle(frame.payload, false).bytes;
  }
  const std::string& Requests() const { return requests_; }
  const std::string& Replies() const { return replies_; }

 private:
  emulator::EmulatedTerminal terminal_;
  emulator::RequestHandler handler_;
  wire::FrameDecoder decoder_;
  std::string requests_;
  std::string replies_;
  std::size_t read_ = 0;
};

// Both forms of one stream under the two steering bytes.
void WriteSeeds(const std::filesystem::path& folder, const std::string& name, std::uint8_t steer0,
                std::uint8_t steer1, const std::string& stream) {
  std::filesystem::create_directories(folder);
  const std::string head{static_cast<char>(steer0), static_cast<char>(steer1)};
  fuzz::WriteFile((folder / name).string(), head + stream);
  const std::string framedHead{static_cast<char>(steer0 | fuzz::kFramedFlag),
                               static_cast<char>(steer1)};
  fuzz::WriteFile((folder / (name + "-framed")).string(),
                  framedHead + fuzz::RecordsFromStream(stream));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "kullanım: miravel_fuzz_seeds CORPUS_FOLDER\n");
    return 2;
  }
  const std::filesystem::path corpus = argv[1];
  // Replies: one operation each, read in 64-byte pieces; the second
  // operation (the same again) finds the link closed.
  const struct {
    unsigned op;
    const char* name;
  } kReplies[] = {{0, "hello"},     {2, "status"},    {3, "log"},       {5, "users"},
                  {6, "user-info"}, {9, "templates"}, {12, "get-time"}, {7, "set-user"}};
  for (const auto& [op, name] : kReplies) {
    EmulatorLink link;
    WireSession session(link);
    fuzz::CallOperation(session, op);
    WriteSeeds(corpus / "reply", name, static_cast<std::uint8_t>(op),
               static_cast<std::uint8_t>(0x70 | op), link.Replies());
  }
  // Requests: a transfer and a personnel copy as the program sends them, on
  // a network link and on a serial line.
  EmulatorLink transfer;
  WireSession transferSession(transfer);
  for (unsigned op : {0u, 1u, 2u, 3u, 4u}) fuzz::CallOperation(transferSession, op);
  WriteSeeds(corpus / "request", "transfer", 0, 0xD0, transfer.Requests());
  WriteSeeds(corpus / "request", "transfer-serial", 1, 0x40, transfer.Requests());
  EmulatorLink personnel;
  WireSession personnelSession(personnel);
  for (unsigned op : {0u, 5u, 6u, 9u, 7u, 10u, 8u, 11u, 12u, 13u, 14u, 15u}) {
    fuzz::CallOperation(personnelSession, op);
  }
  WriteSeeds(corpus / "request", "personnel", 0, 0x70, personnel.Requests());
  return 0;
}
