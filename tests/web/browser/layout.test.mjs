// Browser tests of what every page shares: the language the browser asks
// for, the width of a phone, and axe-core's accessibility rules. Every page
// is photographed at 1366 and 390 px wide into KORIMBA_SCREENSHOT_DIR.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import fs from "node:fs";
import path from "node:path";
import { fileURLToPath } from "node:url";
import { chromium } from "playwright-core";

const base = process.env.KORIMBA_URL;
const shots = process.env.KORIMBA_SCREENSHOT_DIR || "build/screenshots";
const here = path.dirname(fileURLToPath(import.meta.url));
const axePath = path.join(here, "node_modules", "axe-core", "axe.min.js");
const PASSWORD = process.env.KORIMBA_DEMO_PASSWORD || "demo-office";

// Every page a signed-in person reaches from the navigation, and more.
const PAGES = {
  home: "/",
  history: "/history",
  conversation: "/messages?with=10",
  group: "/messages/group",
  tracking: "/tracking",
  plans: "/plans",
  "plan-new": "/plans/new",
  month: "/calendar/month",
  places: "/calendar/month?places=1",
  week: "/calendar/week",
  moment: "/calendar/moment",
  "not-found": "/no/such/page",
};

// Pages reached from others, for the things Anna makes in `before`: one
// plan, one group message to David and a search that finds both.
async function addReachedPages() {
  const page = await signedIn({ locale: "zh-CN" });
  const text = `季度总结会议，请准备各部门的数据和下一季度的计划 ${Date.now()}`;
  await page.goto(`${base}/plans/new?date=2031-03-03`);
  await page.fill("#content", text);
  await page.fill("#place", "三楼大会议室");
  await Promise.all([page.waitForURL(/\/calendar\/month/), page.click("#plan-form button")]);
  const plan = await page.getAttribute('#month td[data-date="2031-03-03"] a.entry', "href");
  PAGES.plan = plan;
  PAGES["plan-edit"] = plan.replace("/plans/view", "/plans/edit");
  await page.goto(`${base}/messages/group`);
  await page.check('input[name="to"][value="10"]');
  await page.fill("#title", "季度总结");
  await page.fill("#content", text);
  await Promise.all([page.waitForURL(/\/tracking/), page.click("#group-form button")]);
  const row = page.locator("#tracking tr", { hasText: text }).first();
  PAGES.track = await row.locator("a").nth(0).getAttribute("href");
  PAGES["group-edit"] = await row.locator("a").nth(1).getAttribute("href");
  await page.goto(`${base}/messages?with=10`);
  PAGES.message = await page.locator("ul.messages li", { hasText: text }).first()
    .locator("a[href^='/messages/open']").getAttribute("href");
  PAGES["message-edit"] = PAGES.message.replace("/messages/open", "/messages/edit");
  PAGES.search = `/search?q=${encodeURIComponent("季度总结")}`;
  await page.context().close();
}

let browser;

async function signedIn(options) {
  const context = await browser.newContext({ bypassCSP: true, ...options });
  const page = await context.newPage();
  await page.goto(`${base}/signin`);
  await page.fill("#login", "anna");
  await page.fill("#password", PASSWORD);
  await Promise.all([page.waitForURL(`${base}/`), page.click("form[action='/signin'] button")]);
  return page;
}

before(async () => {
  assert.ok(base, "KORIMBA_URL is not set");
  fs.mkdirSync(shots, { recursive: true });
  browser = await chromium.launch({
    executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
           "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  });
  await addReachedPages();
});

after(async () => {
  await browser?.close();
});

test("Accept-Language picks the page language and the switch keeps the other", async () => {
  const cases = [
    { locale: "zh-CN", lang: "zh-CN", home: "首页" },
    { locale: "en-US", lang: "en", home: "Home" },
  ];
  for (const c of cases) {
    const page = await signedIn({ locale: c.locale });
    assert.equal(await page.getAttribute("html", "lang"), c.lang, c.locale);
    assert.equal((await page.textContent("nav a[href='/']")).trim(), c.home, c.locale);
    await Promise.all([page.waitForURL(`${base}/`), page.click("#lang-switch")]);
    assert.notEqual(await page.getAttribute("html", "lang"), c.lang, c.locale);
    await page.goto(`${base}/plans`);
    assert.notEqual(await page.getAttribute("html", "lang"), c.lang, c.locale);
    await page.context().close();
  }
});

// Each page with the browser that shows it: the signed-in person's for
// PAGES, one of nobody's for the sign-in page.
async function* everyPage(options) {
  const page = await signedIn(options);
  for (const [name, url] of Object.entries(PAGES)) {
    await page.goto(`${base}${url}`);
    yield [name, page];
  }
  const visitor = await (await browser.newContext({ bypassCSP: true, ...options })).newPage();
  await visitor.goto(`${base}/signin`);
  yield ["signin", visitor];
  await visitor.context().close();
  await page.context().close();
}

test("every page fits a phone, with the menu folded and opening on demand", async () => {
  for await (const [name, page] of everyPage({ locale: "zh-CN", viewport: { width: 390, height: 844 } })) {
    const [scroll, inner] = await page.evaluate(() => [
      document.documentElement.scrollWidth, window.innerWidth]);
    assert.ok(scroll <= inner, `${name}: ${scroll} px wide in ${inner}`);
    await page.screenshot({ path: path.join(shots, `${name}-390.png`), fullPage: true });
  }
  const page = await signedIn({ locale: "zh-CN", viewport: { width: 390, height: 844 } });
  await page.goto(`${base}/`);
  assert.equal(await page.isVisible("nav a[href='/plans']"), false);
  await page.click(".menu-button");
  assert.equal(await page.isVisible("nav a[href='/plans']"), true);
  await page.context().close();
});

test("axe-core finds nothing serious or critical on any page", async () => {
  const found = [];
  for await (const [name, page] of everyPage({ locale: "zh-CN", viewport: { width: 1366, height: 768 } })) {
    await page.screenshot({ path: path.join(shots, `${name}-1366.png`), fullPage: true });
    await page.addScriptTag({ path: axePath });
    const violations = await page.evaluate(async () => {
      const result = await window.axe.run(document, { resultTypes: ["violations"] });
      return result.violations
        .filter((v) => v.impact === "serious" || v.impact === "critical")
        .map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(" ")).join(", ")}`);
    });
    for (const v of violations) found.push(`${name} ${v}`);
  }
  assert.deepEqual(found, []);
});
