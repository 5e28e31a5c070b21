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

test("every page fits a phone, with the menu folded and opening on demand", async () => {
  const page = await signedIn({ locale: "zh-CN", viewport: { width: 390, height: 844 } });
  for (const [name, url] of Object.entries(PAGES)) {
    await page.goto(`${base}${url}`);
    const [scroll, inner] = await page.evaluate(() => [
      document.documentElement.scrollWidth, window.innerWidth]);
    assert.ok(scroll <= inner, `${name}: ${scroll} px wide in ${inner}`);
    await page.screenshot({ path: path.join(shots, `${name}-390.png`), fullPage: true });
  }
  await page.goto(`${base}/`);
  assert.equal(await page.isVisible("nav a[href='/plans']"), false);
  await page.click(".menu-button");
  assert.equal(await page.isVisible("nav a[href='/plans']"), true);
  await page.context().close();
});

test("axe-core finds nothing serious or critical on any page", async () => {
  const page = await signedIn({ locale: "zh-CN", viewport: { width: 1366, height: 768 } });
  const found = [];
  for (const [name, url] of Object.entries(PAGES)) {
    await page.goto(`${base}${url}`);
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
  await page.context().close();
});
