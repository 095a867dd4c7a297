#include "devices/RowsByLink.h"

#include <atomic>
#include <climits>
#include <condition_variable>
#include <deque>
#include <exception>
#include <future>
#include <mutex>
#include <string>
#include <thread>

#include "core/AppError.h"
#include "devices/DeviceCommands.h"

namespace miravel {
namespace {

// What the rows' threads tell the sink, held until the calling thread hands
// it on: a window's sink touches widgets, which only that thread may.
class SinkQueue : public DeviceCommandSink {
 public:
  void StatusChanged(int device, const std::string& text) override {
    Post({Kind::kStatus, device, text, nullptr});
  }
  void Repaint() override { Post({Kind::kRepaint, 0, {}, nullptr}); }
  void StripeRows() override { Post({Kind::kStripe, 0, {}, nullptr}); }
  bool ConfirmReset() override {
    std::promise<bool> answer;
    std::future<bool> given = answer.get_future();
    Post({Kind::kConfirm, 0, {}, &answer});
    return given.get();
  }

  // No more messages come.
  void Close() {
    const std::lock_guard<std::mutex> hold(mutex_);
    closed_ = true;
    ready_.notify_all();
  }

  // Hands every message on to sink until the queue is closed and empty. A
  // sink that throws does not end the handing on (a question left unanswered
  // would hold its row for ever); its first error is thrown at the end.
  void DeliverUntilClosed(DeviceCommandSink& sink);

 private:
  enum class Kind { kStatus, kRepaint, kStripe, kConfirm };
  struct Message {
    Kind kind;
    int device = 0;
    std::string text;
    std::promise<bool>* answer = nullptr;
  };

  void Post(Message message) {
    const std::lock_guard<std::mutex> hold(mutex_);
    messages_.push_back(std::move(message));
    ready_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Message> messages_;
  bool closed_ = false;
};

void SinkQueue::DeliverUntilClosed(DeviceCommandSink& sink) {
  std::exception_ptr error;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    ready_.wait(lock, [&] { return !messages_.empty() || closed_; });
    if (messages_.empty()) break;
    Message message = std::move(messages_.front());
    messages_.pop_front();
    lock.unlock();
    bool yes = false;
    try {
      switch (message.kind) {
        case Kind::kStatus:
          sink.StatusChanged(message.device, message.text);
          break;
        case Kind::kRepaint:
          sink.Repaint();
          break;
        case Kind::kStripe:
          sink.StripeRows();
          break;
        case Kind::kConfirm:
          yes = sink.ConfirmReset();
          break;
      }
    } catch (...) {
      if (!error) error = std::current_exception();
    }
    if (message.answer != nullptr) message.answer->set_value(yes);
    lock.lock();
  }
  if (error) std::rethrow_exception(error);
}

struct PlannedRow {
  int device = 0;
  std::string link;
  std::shared_ptr<TerminalClient> client;
  std::exception_ptr planError;  // its numbers did not convert
  std::exception_ptr error;      // what its command threw
};

}  // namespace

void RunRowsByLink(const DeviceList& rows, const std::vector<int>& devices,
                   const ConnectionRules& rules, const TerminalClientMaker& makeClient,
                   TerminalClient* terminal, DeviceCommandSink& sink, const RowCommand& command) {
  if (!makeClient) {
    for (const int device : devices) {
      DeviceCommands commands(*terminal, sink);
      command(commands, device);
    }
    return;
  }

  std::vector<PlannedRow> plan;
  std::vector<std::string> links;
  int stop = INT_MAX;
  for (const int device : devices) {
    PlannedRow& row = plan.emplace_back();
    row.device = device;
    try {
      row.link = LinkOf(TargetOf(rows.at(static_cast<std::size_t>(device - 1)), rules));
    } catch (const AppError&) {
      // Alone on a link of its own: its command throws before it connects.
      row.link = "satır " + std::to_string(device);
      row.planError = std::current_exception();
      stop = std::min(stop, device);
    }
    row.client = makeClient();
    links.push_back(row.link);
  }

  std::atomic<int> stopAt{stop};
  std::mutex stopMutex;
  SinkQueue queue;
  std::thread rowsThread([&] {
    ForEachByLink(links, kDeviceLinksAtOnce, [&](std::size_t i) {
      PlannedRow& row = plan[i];
      if (row.device > stopAt) return;
      try {
        DeviceCommands commands(*row.client, queue);
        command(commands, row.device);
      } catch (...) {
        row.error = std::current_exception();
        const std::lock_guard<std::mutex> hold(stopMutex);
        stopAt = std::min(stopAt.load(), row.device);
      }
    });
    queue.Close();
  });
  std::exception_ptr sinkError;
  try {
    queue.DeliverUntilClosed(sink);
  } catch (...) {
    sinkError = std::current_exception();
  }
  rowsThread.join();
  for (const PlannedRow& row : plan) {
    if (row.error) std::rethrow_exception(row.error);
    if (row.planError) std::rethrow_exception(row.planError);
  }
  if (sinkError) std::rethrow_exception(sinkError);
}

}  // namespace miravel
