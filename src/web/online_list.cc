#include "web/online_list.h"

#include "message/message.h"
#include "web/site.h"
#include "web/templates.h"
#include "web/values.h"

namespace korimba::web {

mstch::map OnlineContext(PageRun& run, int32_t me) {
  GridView grid(run.Message("GetOnlineList"));
  const std::string my_id = std::to_string(me);
  // Built in place and moved: with a full office the list is a hundred
  // entries, and copies of mstch maps are most of a poll's cost.
  mstch::array people;
  for (int32_t row = 0; row < grid.first_count(); ++row) {
    if (grid.second_count() < OnlineColumn::kColumns ||
        grid.at(row, OnlineColumn::kPersonId).is_empty()) {
      continue;
    }
    mstch::map person;
    std::string id = DisplayText(grid.at(row, OnlineColumn::kPersonId));
    person.emplace("is_me", id == my_id);
    person.emplace("id", std::move(id));
    person.emplace("name", DisplayText(grid.at(row, OnlineColumn::kName)));
    person.emplace("since", DisplayText(grid.at(row, OnlineColumn::kEntryDate)));
    person.emplace("page", DisplayText(grid.at(row, OnlineColumn::kEntryPage)));
    people.emplace_back(std::move(person));
  }
  mstch::map context;
  context.emplace("none", people.empty());
  context.emplace("people", std::move(people));
  return context;
}

std::string OnlineFragmentHtml(PageRun& run, int32_t me, Language language) {
  mstch::map context = OnlineContext(run, me);
  context["t"] = CatalogLambda(language);
  return RenderTemplate("online", context);
}

}  // namespace korimba::web
