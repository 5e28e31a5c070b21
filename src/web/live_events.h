// The live-update stream of an open page: GET /events answers
// text/event-stream for the signed-in visitor and carries, as named events,
//   unread   the number of unread messages (also the "(3) ..." of the title),
//   post     a new message of the visitor's: its row for the open
//            conversation (?with=PERSON) and, when received, a notice,
//   online   the on-line list, fetched with GetOnlineList under the page's own
//            session and address (?page=PATH) every 5 seconds as the polling
//            page did, so presence means the same with or without the stream,
//   reminder a plan falling due, once per session (web/reminders.h),
//   signed-out  the session has ended; the page stops listening.
// The first look sends the current state at once. Each event carries the
// highest message id seen as its id, so a browser reconnecting with
// Last-Event-ID is sent the messages it missed. How many streams may be open
// and how long each lasts is EventHub's (web/event_hub.h); a stream beyond
// the bound is refused with 503 and a readable text, and the page then polls
// as it does without the stream. The stream runs on the worker that answers
// the request; its state lives in the response's content provider.
#ifndef KORIMBA_WEB_LIVE_EVENTS_H_
#define KORIMBA_WEB_LIVE_EVENTS_H_

#include <httplib.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korimba::web {

class Site;
class PageRequest;

// One event in the text/event-stream form: each line of `data` on a data:
// line of its own (so that a line break in a message cannot end the event
// early or forge another), with its id when one is given.
std::string StreamEvent(std::string_view name, std::string_view data, std::string_view id = {});

// `text` as a JSON string literal, quotes included.
std::string JsonText(std::string_view text);

// The unread count the title of a signed-in page starts with; nullopt when it
// cannot be read (the page is then shown without it).
std::optional<int64_t> UnreadForTitle(PageRequest& page);

// GET /events and the script that listens to it.
void RegisterLiveEvents(httplib::Server& server, Site& site);

}  // namespace korimba::web

#endif  // KORIMBA_WEB_LIVE_EVENTS_H_
