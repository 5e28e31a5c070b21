// OnlineList is the shared on-line list as GetOnlineList works on it: a copy
// of the Application value "OnlineList", a 2-D array of slots 0..100 by
// columns 0..8 named by OnlineColumn (id, name, time of last renewal as
// single-precision seconds since midnight, date of entry, page of entry, then
// four columns carried through untouched). A slot is free when its column 0 is Null.
//
// The object is a working copy: Load reads (or creates) the stored list,
// the entry/renewal/sweep steps change the copy, Store puts it back. The
// caller holds the Application lock (ApplicationLock) for the whole
// read-modify-write. One thread; the Application itself is shared.
#ifndef KORIMBA_MESSAGE_PRESENCE_H_
#define KORIMBA_MESSAGE_PRESENCE_H_

#include <cstdint>
#include <optional>

#include "frame/date.h"
#include "frame/page_context.h"
#include "frame/variant.h"
#include "message/message.h"

namespace korimba {

// Holds the Application lock for a scope. Unlock() releases it on the normal
// path so that a failing UnLock is reported; on any other path the
// destructor releases it.
class ApplicationLock {
 public:
  explicit ApplicationLock(ApplicationObject& app);
  ApplicationLock(const ApplicationLock&) = delete;
  ApplicationLock& operator=(const ApplicationLock&) = delete;
  ~ApplicationLock();
  void Unlock();

 private:
  ApplicationObject& app_;
  bool held_ = true;
};

class OnlineList {
 public:
  static constexpr int32_t kSlots = 101;
  static constexpr int32_t kColumns = OnlineColumn::kColumns;
  // An entry not renewed for more than this many seconds (or stamped more
  // than this far ahead of the clock, as after midnight) is dropped.
  static constexpr double kStaleSeconds = 15;

  // A copy of the stored list; when the Application holds no array under
  // "OnlineList", a new list with every slot free, stored at once. A byte
  // array there is a type mismatch.
  static OnlineList Load(ApplicationObject& app);

  // The lowest free slot, if any.
  std::optional<int32_t> FirstFreeSlot() const;
  // Writes a new entry's columns 0 to 4.
  void Enter(int32_t slot, const Variant& person_id, const Variant& person_name, float seconds,
             Date today, const Variant& url);
  // True when `slot` holds a live entry of a person other than `person_id`
  // (subscript error for a slot outside the list).
  bool HeldByAnother(int32_t slot, const Variant& person_id) const;
  // Writes columns 0 to 2 (subscript error for a slot outside the list).
  void Renew(int32_t slot, const Variant& person_id, const Variant& person_name, float seconds);
  // Drops every stale entry, storing the time as "OnlineT" at each drop;
  // returns the number of live entries left.
  int32_t Sweep(ApplicationObject& app);
  void Store(ApplicationObject& app) const;
  // The live entries in slot order, columns 0 to 8, in a built grid with
  // `live` + 1 rows (the last one Empty).
  Variant LiveGrid(int32_t live) const;

 private:
  explicit OnlineList(Variant list) : list_(std::move(list)) {}
  bool IsLive(int32_t slot) const;

  Variant list_;
};

}  // namespace korimba

#endif  // KORIMBA_MESSAGE_PRESENCE_H_
