// Every page the site draws is rendered a second time by mstch, the library
// the templates were written for, and must come out byte for byte the same.
// The check runs on every render of every web test (the observer is set
// when this executable starts); the crawl below makes sure each template is
// rendered over a real page's context, in both languages.
#include "web/templates.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <mutex>
#include <regex>
#include <set>

#include "demo/demo_data.h"
#include "frame/clock.h"
#include "tests/web/test_site.h"
#include "web/html.h"

namespace korimba::web {
namespace {

std::mutex seen_mutex;
std::set<std::string, std::less<>> seen_templates;

const std::map<std::string, std::string>& TemplateSources() {
  static const auto* sources = [] {
    auto* out = new std::map<std::string, std::string>();
    for (const auto& [file, content] : EmbeddedAssets()) {
      if (file.ends_with(".mustache")) {
        (*out)[std::string(file.substr(0, file.size() - 9))] = std::string(content);
      }
    }
    return out;
  }();
  return *sources;
}

void CompareWithMstch(std::string_view name, const mstch::map& context,
                      const std::string& rendered) {
  // Set here, not at start-up: mstch's own default may be initialized after
  // this file's statics.
  static std::once_flag escape_set;
  std::call_once(escape_set, [] {
    mstch::config::escape = [](const std::string& text) { return HtmlEscape(text); };
  });
  const std::string expected =
      mstch::render(TemplateSources().at(std::string(name)), context, TemplateSources());
  if (expected != rendered) {
    size_t at = 0;
    while (at < expected.size() && at < rendered.size() && expected[at] == rendered[at]) ++at;
    const size_t from = at < 40 ? 0 : at - 40;
    ADD_FAILURE() << "template " << name << " renders differently from byte " << at
                  << "\nmstch: ..." << expected.substr(from, 120) << "\nours:  ..."
                  << rendered.substr(from, 120);
  }
  std::lock_guard lock(seen_mutex);
  seen_templates.emplace(name);
}

const bool kObserving = [] {
  SetRenderObserver(&CompareWithMstch);
  return true;
}();

// The site's own links (href="/..."), unescaped.
std::vector<std::string> Links(const std::string& body) {
  static const std::regex kHref(R"re(href="(/[^"#]*)")re");
  std::vector<std::string> out;
  for (auto it = std::sregex_iterator(body.begin(), body.end(), kHref);
       it != std::sregex_iterator(); ++it) {
    std::string link = (*it)[1];
    for (size_t at = link.find("&amp;"); at != std::string::npos; at = link.find("&amp;", at + 1)) {
      link.replace(at, 5, "&");
    }
    out.push_back(link);
  }
  return out;
}

TEST(TemplatesTest, EveryPageOfTheDemoOfficeRendersAsMstchDoes) {
  ASSERT_TRUE(kObserving);
  testing::TestSite site;
  cli::AddDemoData(site.shared_conn(), SystemClock().Now());
  {
    std::lock_guard lock(seen_mutex);
    seen_templates.clear();
  }
  for (const char* language : {"en", "zh-CN"}) {
    testing::Visitor visitor(site.port(), language);
    visitor.Get("/signin");
    visitor.SignIn(1);
    // Each page the site links to, up to three of each path (a message, a
    // plan, a minute...), plus pages that fail and a search (reached by a
    // form, not a link).
    std::deque<std::string> pending{"/",
                                    "/online",
                                    "/no/such/page",
                                    "/messages/open?id=999999",
                                    "/messages/edit?id=999999",
                                    "/search?q=e"};
    std::set<std::string> visited;
    std::map<std::string, int> per_path;
    while (!pending.empty() && visited.size() < 150) {
      std::string target = std::move(pending.front());
      pending.pop_front();
      const std::string path = target.substr(0, target.find('?'));
      if (visited.contains(target) || path.starts_with("/static/") || path == "/favicon.ico" ||
          path == "/messages/attachment" || path == "/language" || ++per_path[path] > 3) {
        continue;
      }
      visited.insert(target);
      auto page = visitor.Get(target);
      ASSERT_TRUE(page) << target;
      EXPECT_LT(page->status, 500) << target << "\n" << page->body;
      for (std::string& link : Links(page->body)) pending.push_back(std::move(link));
    }
  }
  std::set<std::string> missing;
  std::lock_guard lock(seen_mutex);
  for (const auto& [name, text] : TemplateSources()) {
    // The password sign-in form is drawn only in that sign-in mode: the
    // sign-in tests render it.
    // The rows the live stream sends are rendered by its own tests, which
    // run under the same comparison.
    if (name == "conversation_item" || name == "reminder_item") continue;
    if (name != "signin_password" && !seen_templates.contains(name)) missing.insert(name);
  }
  EXPECT_TRUE(missing.empty()) << "no page rendered: " << ::testing::PrintToString(missing);
}

}  // namespace
}  // namespace korimba::web
