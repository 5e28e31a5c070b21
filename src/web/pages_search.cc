// Search: the signed-in person's messages and plans that hold a text, newest
// first, a page at a time, with the text marked where it was found. The
// lookups are web/search_queries.h; this file turns hits into the page.
#include "frame/value_ops.h"
#include "web/form_checks.h"
#include "web/html.h"
#include "web/search_queries.h"
#include "web/search_text.h"
#include "web/site.h"
#include "web/values.h"

namespace korimba::web {
namespace {

constexpr int32_t kHitsPerPage = 20;
// Longer texts are refused: nobody searches for a paragraph, and the
// pattern then stays well within what SQL Server's LIKE accepts.
constexpr size_t kMaxSearchChars = 100;

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

mstch::map HitContext(const SearchHit& hit, const std::string& q) {
  const bool message = hit.kind == SearchHit::Kind::kMessage;
  mstch::map out{
      {"message", message},
      {"id", std::to_string(hit.id)},
      {"when", DisplayText(hit.when)},
      {"text_html", HighlightHtml(DisplayText(hit.text), q)},
  };
  if (message) {
    const std::string title = DisplayText(hit.title);
    out["title_html"] = HighlightHtml(title, q);
    out["has_title"] = !title.empty();
    out["sent"] = hit.sent;
    out["other"] = DisplayText(hit.other);
  } else {
    const std::string place = DisplayText(hit.place);
    out["end"] = DisplayText(hit.end);
    out["place_html"] = HighlightHtml(place, q);
    out["has_place"] = !place.empty();
  }
  return out;
}

void SearchPage(PageRequest& page) {
  const std::string q = Trimmed(page.Param("q"));
  mstch::map context{{"q", q}};
  if (StoredLength(q) > kMaxSearchChars) {
    context["error"] =
        page.catalog().Format("error.search_too_long", {std::to_string(kMaxSearchChars)});
    page.Page(page.Text("title.search"), "search", context, 400);
    return;
  }
  if (q.empty()) {
    page.Page(page.Text("title.search"), "search", context);
    return;
  }
  int32_t at = 1;
  if (!page.Param("page").empty()) at = page.IdParam("page", "page number");
  SearchResults found = Search(page.run().connection(), page.person_id(), q, at, kHitsPerPage);
  mstch::array hits;
  for (const SearchHit& hit : found.hits) hits.push_back(HitContext(hit, q));
  const std::string q_param = PercentEncode(q);
  context["searched"] = true;
  context["count"] = page.catalog().Format("search.count", {std::to_string(found.total)});
  context["hits"] = hits;
  context["none"] = found.total == 0;
  context["beyond"] = hits.empty() && found.total > 0;
  context["paged"] = found.pages > 1;
  context["page"] = std::to_string(at);
  context["pages"] = std::to_string(found.pages);
  if (at > 1 && at - 1 <= found.pages) {
    context["prev_href"] = "/search?q=" + q_param + "&page=" + std::to_string(at - 1);
  }
  if (at < found.pages && at < kMaxSearchPages) {
    context["next_href"] = "/search?q=" + q_param + "&page=" + std::to_string(at + 1);
  }
  page.Page(page.catalog().Format("title.search_for", {q}), "search", context);
}

}  // namespace

void RegisterSearchPages(httplib::Server& server, Site& site) {
  Route(server, site, "GET", "/search", Access::kSignedIn, SearchPage);
}

}  // namespace korimba::web
