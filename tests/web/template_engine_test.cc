#include "web/template_engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace korimba::web {
namespace {

struct Case {
  const char* what;
  const char* text;
  mstch::map context;
  const char* expected;
};

// Partials every case may use.
TemplateSet WithPartials() {
  TemplateSet set;
  set.Add("item", "({{x}})");
  set.Add("block", "|\n{{{content}}}\n|\n");
  set.Add("outer", "<\n  {{>inner}}\n>\n");
  set.Add("inner", "i1\ni2\n");
  set.Add("self", "{{#next}}[{{>self}}]{{/next}}");
  return set;
}

void Check(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    TemplateSet set = WithPartials();
    set.Add("t", c.text);
    EXPECT_EQ(set.Render("t", c.context), c.expected) << c.what;
  }
}

TEST(TemplateEngineTest, InterpolationEscapesUnlessRaw) {
  const std::string nasty = "<a href='q'>&\"";
  Check({
      {"escaped", "{{x}}", {{"x", nasty}}, "&lt;a href=&#39;q&#39;&gt;&amp;&quot;"},
      {"triple braces", "{{{x}}}", {{"x", nasty}}, "<a href='q'>&\""},
      {"ampersand", "{{& x}}", {{"x", nasty}}, "<a href='q'>&\""},
      {"spaces inside tags", "{{ x }}|{{{ x }}}", {{"x", std::string("a")}}, "a|a"},
      {"missing name", "[{{nope}}][{{{nope}}}]", {}, "[][]"},
      {"numbers and flags", "{{n}} {{b}} {{z}}", {{"n", 42}, {"b", true}, {"z", 0}}, "42 true 0"},
      {"a map prints nothing", "[{{m}}]", {{"m", mstch::map{{"a", 1}}}}, "[]"},
      {"comment", "a{{! not\nshown }}b", {}, "ab"},
      {"text without tags", "plain } { text", {}, "plain } { text"},
      {"changed delimiters",
       "{{=<% %>=}}<% x %>{{x}}<%={{ }}=%>{{x}}",
       {{"x", std::string("v")}},
       "v{{x}}v"},
  });
}

TEST(TemplateEngineTest, SectionsAndNames) {
  mstch::array rows{mstch::map{{"id", 1}, {"name", std::string("A")}},
                    mstch::map{{"id", 2}, {"name", std::string("B")}}};
  mstch::map nested{{"a", mstch::map{{"b", mstch::map{{"c", std::string("deep")}}}}},
                    {"top", std::string("T")}};
  Check({
      {"list of maps", "{{#rows}}<{{id}}:{{name}}>{{/rows}}", {{"rows", rows}}, "<1:A><2:B>"},
      {"empty list", "[{{#rows}}x{{/rows}}]", {{"rows", mstch::array{}}}, "[]"},
      {"list of texts",
       "{{#l}}<{{.}}>{{/l}}",
       {{"l", mstch::array{std::string("a&"), std::string("b")}}},
       "<a&amp;><b>"},
      {"true and false", "{{#y}}Y{{/y}}{{#n}}N{{/n}}", {{"y", true}, {"n", false}}, "Y"},
      {"empty text and zero skip",
       "{{#s}}S{{/s}}{{#z}}Z{{/z}}",
       {{"s", std::string()}, {"z", 0}},
       ""},
      {"a map becomes the context", "{{#m}}{{a}}{{/m}}", {{"m", mstch::map{{"a", 7}}}}, "7"},
      {"outer names stay visible",
       "{{#rows}}{{top}}{{/rows}}",
       {{"rows", rows}, {"top", std::string("T")}},
       "TT"},
      {"inner names hide outer ones",
       "{{#m}}{{x}}{{/m}}{{x}}",
       {{"m", mstch::map{{"x", 1}}}, {"x", 2}},
       "12"},
      {"inverted on missing, empty, false",
       "{{^a}}A{{/a}}{{^b}}B{{/b}}{{^c}}C{{/c}}{{^d}}D{{/d}}",
       {{"b", mstch::array{}}, {"c", false}, {"d", true}},
       "ABC"},
      {"nested sections of one name", "{{#a}}{{#a}}x{{/a}}{{/a}}", {{"a", true}}, "x"},
      {"dotted name", "{{a.b.c}}", nested, "deep"},
      {"dotted name, broken chain", "[{{a.x.c}}]", nested, "[]"},
      {"dotted section", "{{#a.b}}{{c}}{{top}}{{/a.b}}", nested, "deepT"},
      {"dotted name does not fall back outward", "{{#a}}[{{b.top}}]{{/a}}", nested, "[]"},
  });
}

TEST(TemplateEngineTest, StandaloneLinesLeaveNoTrace) {
  Check({
      {"section lines", "a\n  {{#s}}\nx\n  {{/s}}\nb\n", {{"s", true}}, "a\nx\nb\n"},
      {"inverted and comment lines", " {{^s}}\n{{! note }}\nx\n{{/s}}\n", {}, "x\n"},
      {"two tags on one line", "a\n{{#s}}{{/s}}\nb", {{"s", true}}, "a\nb"},
      {"last line without newline", "#{{#s}}\n/\n  {{/s}}", {{"s", true}}, "#\n/\n"},
      {"first line", "{{#s}}\nx\n{{/s}}\n", {{"s", true}}, "x\n"},
      {"windows line ends", "|\r\n{{#s}}\r\n{{/s}}\r\n|", {{"s", true}}, "|\r\n|"},
      {"not alone on its line", "  {{#s}}x{{/s}}\n", {{"s", true}}, "  x\n"},
      {"a variable is never standalone", "  {{v}}\n", {}, "  \n"},
      {"delimiter change line", "a\n  {{=| |=}}\n|x|\n", {{"x", 1}}, "a\n1\n"},
  });
}

TEST(TemplateEngineTest, Partials) {
  Check({
      {"inline partial", "[{{>item}}]", {{"x", 5}}, "[(5)]"},
      {"partial in a list",
       "{{#l}}{{> item}}{{/l}}",
       {{"l", mstch::array{mstch::map{{"x", 1}}, mstch::map{{"x", 2}}}}},
       "(1)(2)"},
      {"missing partial", "[{{>nope}}]", {}, "[]"},
      {"standalone partial is indented, values are not",
       "\\\n {{>block}}\n/\n",
       {{"content", std::string("<\n->")}},
       "\\\n |\n <\n->\n |\n/\n"},
      {"indentation adds up", "  {{>outer}}\n", {}, "  <\n    i1\n    i2\n  >\n"},
      {"inline partial is not indented", "  {{>inner}}x\n", {}, "  i1\ni2\nx\n"},
      {"recursion ends with the data",
       "{{>self}}",
       {{"next", mstch::map{{"next", mstch::map{{"next", false}}}}}},
       "[[]]"},
  });
}

TEST(TemplateEngineTest, LambdasRenderWhatTheyReturn) {
  mstch::node section =
      mstch::lambda{[](const std::string& body) -> mstch::node { return "<" + body + ":{{x}}>"; }};
  mstch::node plain = mstch::lambda{[]() -> mstch::node { return std::string("a&{{x}}"); }};
  Check({
      {"section lambda gets its body", "{{#f}}key{{/f}}", {{"f", section}, {"x", 1}}, "<key:1>"},
      {"section lambda is not escaped", "{{#f}}&{{/f}}", {{"f", section}, {"x", 2}}, "<&:2>"},
      {"variable lambda is escaped", "{{g}}", {{"g", plain}, {"x", std::string("b")}}, "a&amp;b"},
      {"raw variable lambda", "{{{g}}}", {{"g", plain}, {"x", std::string("b")}}, "a&b"},
  });
}

TEST(TemplateEngineTest, MalformedTemplatesAreRefusedWithTheirLine) {
  struct Bad {
    const char* text;
    const char* message;
  };
  for (const Bad& bad :
       {Bad{"{{#a}}x", "line 1: {{#a}} is never closed"},
        Bad{"ok\n{{#a}}{{/b}}", "line 2: {{/b}} closes no open section"},
        Bad{"{{/a}}", "line 1: {{/a}} closes"}, Bad{"a\n\n{{x", "line 3: a tag is not closed"},
        Bad{"{{{x}}", "a tag is not closed"}, Bad{"{{}}", "a tag has no name"},
        Bad{"{{=<%=}}", "a delimiter change needs two"}}) {
    TemplateSet set;
    try {
      set.Add("bad", bad.text);
      ADD_FAILURE() << bad.text << " was accepted";
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(bad.message), std::string::npos)
          << bad.text << ": " << e.what();
      EXPECT_NE(std::string(e.what()).find("template bad"), std::string::npos);
    }
  }
  EXPECT_THROW(TemplateSet().Render("absent", {}), std::logic_error);
}

TEST(TemplateEngineTest, RendersConcurrentlyFromOneParse) {
  TemplateSet set = WithPartials();
  set.Add("t", "{{#l}}{{>item}}{{/l}}");
  mstch::array list;
  std::string expected;
  for (int i = 0; i < 200; ++i) {
    list.push_back(mstch::map{{"x", i}});
    expected += "(" + std::to_string(i) + ")";
  }
  const mstch::map context{{"l", list}};
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) wrong += set.Render("t", context) != expected;
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace korimba::web
