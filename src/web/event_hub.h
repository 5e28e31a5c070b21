// EventHub is what the open live-update streams (GET /events) share: the
// bound on how many may be open at once, and a change signal that wakes
// every stream when a visitor's post may have changed what pages show.
//
// Why both bounds: an open stream holds one of the server's workers for as
// long as it lasts (the limited server hands a connection back to its
// watcher only between requests). So at most `max_streams` streams are open
// at once (beyond that a stream is refused readably and the page falls back
// to polling), and each stream ends after `stream_seconds`, asking the
// browser to come back after `retry_ms` with the id of the last event it
// read; a worker is thus never held for long, and a stream's slot passes to
// whoever asks next.
//
// Streams also look at the database every `tick` on their own, so that
// changes made elsewhere (another server, the command line) and reminders
// that fall due are seen without a post on this server. Owned by Site;
// thread-safe.
#ifndef KORIMBA_WEB_EVENT_HUB_H_
#define KORIMBA_WEB_EVENT_HUB_H_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <utility>

namespace korimba::web {

struct StreamSettings {
  int max_streams = 8;
  std::chrono::milliseconds stream_time = std::chrono::seconds(25);
  std::chrono::milliseconds tick = std::chrono::seconds(1);
  // Every how often each stream asks for the on-line list, as a page
  // without the stream polls it.
  std::chrono::milliseconds online_every = std::chrono::seconds(5);
  int retry_ms = 2000;
};

class EventHub {
 public:
  explicit EventHub(StreamSettings settings = {}) : settings_(settings) {}
  EventHub(const EventHub&) = delete;
  EventHub& operator=(const EventHub&) = delete;

  // Set before the server starts.
  void set_settings(StreamSettings settings) { settings_ = settings; }
  const StreamSettings& settings() const { return settings_; }

  // One open stream's place under the bound, given back when destroyed.
  class Slot {
   public:
    explicit Slot(EventHub& hub) : hub_(&hub) {}
    Slot(Slot&& other) noexcept : hub_(std::exchange(other.hub_, nullptr)) {}
    Slot& operator=(Slot&&) = delete;
    ~Slot();

   private:
    EventHub* hub_;
  };
  // A slot, or nullopt when `max_streams` streams are open already.
  std::optional<Slot> TryOpen();
  int open_streams() const;

  // Something pages show may have changed: waiting streams look again.
  void Changed();
  // The number of changes so far; WaitForChange returns once it differs
  // from `seen`, or at `until`.
  uint64_t generation() const;
  void WaitForChange(uint64_t seen, std::chrono::steady_clock::time_point until);

 private:
  StreamSettings settings_;
  mutable std::mutex mu_;
  std::condition_variable changed_;
  int open_ = 0;
  uint64_t generation_ = 0;
};

}  // namespace korimba::web

#endif  // KORIMBA_WEB_EVENT_HUB_H_
