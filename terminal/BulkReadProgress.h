#pragma once

#include <cstddef>

namespace miravel {

class TerminalClient;

// Told how far a bulk load (the log, all users, all templates) has come
// while its items arrive, so that a bar can move during a long read over a
// slow line instead of jumping from 0 to 100 at its end.
class BulkReadObserver {
 public:
  virtual ~BulkReadObserver() = default;
  // received: items arrived so far; expected: the count the terminal gave
  // before the load, raised to received when more arrive (0 while the
  // terminal gave none). Called on the thread that runs the load, at most
  // about once per percent, or once per chunk while the count is unknown; a
  // load that succeeds ends with received == expected == the items loaded.
  // An observer may throw to leave the load; the client then drops the link.
  virtual void BulkReadProgress(std::size_t received, std::size_t expected) = 0;
};

// What a client uses to tell its observer, coalesced: only a change of the
// whole percent (or, of an unknown count, each chunk) reaches it, so a
// caller may repaint on every call however many items flow.
class BulkReadMeter {
 public:
  // observer may be null: then nothing is told and nothing costs.
  BulkReadMeter(BulkReadObserver* observer, std::size_t expected)
      : observer_(observer), expected_(expected) {}

  bool Active() const { return observer_ != nullptr; }
  // received counts every item of the load so far.
  void Arrived(std::size_t received);
  // The load ended with total items.
  void Finished(std::size_t total);

 private:
  BulkReadObserver* observer_;
  std::size_t expected_;
  int toldPercent_ = -1;
  std::size_t toldReceived_ = 0;
};

// Points a client's bulk loads at an observer for the life of this object
// and gives the client back its previous observer after.
class BulkReadWatch {
 public:
  BulkReadWatch(TerminalClient& client, BulkReadObserver& observer);
  ~BulkReadWatch();
  BulkReadWatch(const BulkReadWatch&) = delete;
  BulkReadWatch& operator=(const BulkReadWatch&) = delete;

 private:
  TerminalClient& client_;
  BulkReadObserver* previous_;
};

}  // namespace miravel
