#include "web/online_list.h"

#include "message/message.h"
#include "web/site.h"
#include "web/templates.h"
#include "web/values.h"

namespace korimba::web {

mstch::map OnlineContext(PageRun& run, int32_t me) {
  GridView grid(run.Message("GetOnlineList"));
  mstch::array people;
  for (int32_t row = 0; row < grid.first_count(); ++row) {
    if (grid.second_count() < OnlineColumn::kColumns ||
        grid.at(row, OnlineColumn::kPersonId).is_empty()) {
      continue;
    }
    const std::string id = DisplayText(grid.at(row, OnlineColumn::kPersonId));
    people.push_back(mstch::map{
        {"id", id},
        {"name", DisplayText(grid.at(row, OnlineColumn::kName))},
        {"since", DisplayText(grid.at(row, OnlineColumn::kEntryDate))},
        {"page", DisplayText(grid.at(row, OnlineColumn::kEntryPage))},
        {"is_me", id == std::to_string(me)},
    });
  }
  return mstch::map{{"people", people}, {"none", people.empty()}};
}

std::string OnlineFragmentHtml(PageRun& run, int32_t me, Language language) {
  mstch::map context = OnlineContext(run, me);
  context["t"] = CatalogLambda(language);
  return RenderTemplate("online", context);
}

}  // namespace korimba::web
