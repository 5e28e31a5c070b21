#include "message/presence.h"

#include "frame/clock.h"
#include "frame/error.h"
#include "frame/grid.h"
#include "frame/safe_array.h"
#include "frame/value_ops.h"
#include "message/message.h"

namespace korimba {
namespace {

constexpr std::string_view kListName = "OnlineList";
constexpr std::string_view kChangeTimeName = "OnlineT";

float SecondsNow() { return static_cast<float>(SecondsSinceMidnight()); }

// True when the session value is Empty or the empty text: the session has no
// slot yet. Null is neither.
bool HoldsNoSlot(const Variant& my_list_id) { return EqualsLiteralText(my_list_id, ""); }

}  // namespace

ApplicationLock::ApplicationLock(ApplicationObject& app) : app_(app) { app_.Lock(); }

ApplicationLock::~ApplicationLock() {
  if (!held_) return;
  try {
    app_.UnLock();
  } catch (...) {
    // The call is already failing with its own error; the page host releases
    // the lock at page end in any case.
  }
}

void ApplicationLock::Unlock() {
  held_ = false;
  app_.UnLock();
}

OnlineList OnlineList::Load(ApplicationObject& app) {
  Variant stored = app.Value(kListName);
  if (stored.array() != nullptr) {
    stored.MutableArray();  // our own copy from here on
    return OnlineList(std::move(stored));
  }
  if (stored.bytes() != nullptr) ThrowTypeMismatch("the on-line list is an array of bytes");
  Variant fresh = MakeGrid(kSlots, kColumns);
  for (int32_t s = 0; s < kSlots; ++s)
    GridCell(fresh, s, OnlineColumn::kPersonId) = Variant::Null();
  app.SetValue(kListName, fresh);
  return OnlineList(std::move(fresh));
}

bool OnlineList::HeldByAnother(int32_t slot, const Variant& person_id) const {
  if (!IsLive(slot)) return false;
  const Variant& holder = GridCell(list_, slot, OnlineColumn::kPersonId);
  // Ids compare by their text (7 and "7" are the same person); values
  // without a text form only when they are the very same value.
  auto has_text = [](const Variant& v) {
    return v.kind() != VarKind::kObject && v.kind() != VarKind::kArray &&
           v.kind() != VarKind::kBytes && v.kind() != VarKind::kMissing;
  };
  if (has_text(holder) && has_text(person_id)) return TextForm(holder) != TextForm(person_id);
  return !(holder == person_id);
}

bool OnlineList::IsLive(int32_t slot) const {
  return !GridCell(list_, slot, OnlineColumn::kPersonId).is_null();
}

std::optional<int32_t> OnlineList::FirstFreeSlot() const {
  const Bound slots = list_.array()->bound(1);
  for (int32_t s = slots.lower; s <= slots.upper; ++s) {
    if (!IsLive(s)) return s;
  }
  return std::nullopt;
}

void OnlineList::Enter(int32_t slot, const Variant& person_id, const Variant& person_name,
                       float seconds, Date today, const Variant& url) {
  GridCell(list_, slot, OnlineColumn::kPersonId) = person_id;
  GridCell(list_, slot, OnlineColumn::kName) = person_name;
  GridCell(list_, slot, OnlineColumn::kRenewed) = Variant::R4(seconds);
  GridCell(list_, slot, OnlineColumn::kEntryDate) = Variant::FromDate(today);
  GridCell(list_, slot, OnlineColumn::kEntryPage) = url;
}

void OnlineList::Renew(int32_t slot, const Variant& person_id, const Variant& person_name,
                       float seconds) {
  GridCell(list_, slot, OnlineColumn::kPersonId) = person_id;
  GridCell(list_, slot, OnlineColumn::kName) = person_name;
  GridCell(list_, slot, OnlineColumn::kRenewed) = Variant::R4(seconds);
}

int32_t OnlineList::Sweep(ApplicationObject& app) {
  int32_t live = 0;
  const Bound slots = list_.array()->bound(1);
  for (int32_t s = slots.lower; s <= slots.upper; ++s) {
    if (!IsLive(s)) continue;
    const double t1 = SecondsSinceMidnight();
    const double t2 = SecondsSinceMidnight();
    const Variant& stamp = GridCell(list_, s, OnlineColumn::kRenewed);
    // A Null stamp compares as not true, so such an entry stays.
    bool stale = false;
    if (!stamp.is_null()) {
      const double renewed = ToDouble(stamp);
      stale = t2 - renewed > kStaleSeconds || renewed - t1 > kStaleSeconds;
    }
    if (stale) {
      GridCell(list_, s, OnlineColumn::kPersonId) = Variant::Null();
      app.SetValue(kChangeTimeName, Variant::R4(SecondsNow()));
    } else {
      ++live;
    }
  }
  return live;
}

void OnlineList::Store(ApplicationObject& app) const { app.SetValue(kListName, list_); }

Variant OnlineList::LiveGrid(int32_t live) const {
  Variant grid = MakeBuiltGrid(live, kColumns);
  const Bound slots = list_.array()->bound(1);
  int32_t row = 0;
  for (int32_t s = slots.lower; s <= slots.upper; ++s) {
    if (!IsLive(s)) continue;
    for (int32_t c = 0; c < kColumns; ++c) GridCell(grid, row, c) = GridCell(list_, s, c);
    ++row;
  }
  return grid;
}

Variant Message::GetOnlineList() {
  ApplicationObject& app = application();
  ApplicationLock lock(app);
  OnlineList list = OnlineList::Load(app);
  SessionObject& visitor = session();

  const Variant person_id = visitor.Value("PersonID");
  // Entry: the person takes the lowest free slot, if there is one, and the
  // session remembers it.
  auto enter = [&] {
    if (std::optional<int32_t> slot = list.FirstFreeSlot()) {
      list.Enter(*slot, person_id, visitor.Value("PersonName"), SecondsNow(), Today(),
                 request().ServerVariable("url"));
      visitor.SetValue("MyListID", Variant::I4(*slot));
      app.SetValue(kChangeTimeName, Variant::R4(SecondsNow()));
    }
  };

  // A session without a slot enters.
  if (HoldsNoSlot(visitor.Value("MyListID"))) enter();

  // Renewal: only a session that holds a slot. One that found the list full
  // stays without one rather than writing itself over slot 0's holder. A
  // slot is renewed only while it is free or still this person's: once the
  // person was dropped and somebody else entered there, renewing would
  // overwrite that entry (and the two would overwrite each other on every
  // call), so the person enters again instead.
  const Variant my_slot = visitor.Value("MyListID");
  if (!my_slot.is_null() && !HoldsNoSlot(my_slot)) {
    const int32_t slot = ToI4(my_slot);
    if (list.HeldByAnother(slot, person_id)) {
      enter();
    } else {
      list.Renew(slot, person_id, visitor.Value("PersonName"), SecondsNow());
    }
  }

  const int32_t live = list.Sweep(app);
  list.Store(app);
  Variant grid = list.LiveGrid(live);
  lock.Unlock();
  return grid;
}

}  // namespace korimba
