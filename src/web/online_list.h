// The on-line list as pages show it: GetOnlineList called with the page's
// own session (which also keeps that visitor on the list, as a page's
// polling does), read into what templates/online.mustache shows. Used by the
// home page, its polled fragment and the live-update stream; runs on the
// thread that owns `run`.
#ifndef KORIMBA_WEB_ONLINE_LIST_H_
#define KORIMBA_WEB_ONLINE_LIST_H_

#include <cstdint>
#include <mstch/mstch.hpp>
#include <string>

#include "web/catalog.h"
#include "web/page_runner.h"

namespace korimba::web {

// The live entries: people (id, name, since, page, is_me) and none.
mstch::map OnlineContext(PageRun& run, int32_t me);

// The list rendered as the fragment the page's box holds.
std::string OnlineFragmentHtml(PageRun& run, int32_t me, Language language);

}  // namespace korimba::web

#endif  // KORIMBA_WEB_ONLINE_LIST_H_
