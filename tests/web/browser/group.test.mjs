// A group message as a whole, in the browser: Anna sends one to David and
// Sofia, David reads his copy, and Anna changes it from the tracking page;
// every copy changes, the group mark stays out of the edit box, and tracking
// still counts David's read. Deleting it as a whole asks first: answered
// "no", nothing goes; answered "yes", every copy goes.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import path from "node:path";
import { chromium } from "playwright-core";

const base = process.env.KORIMBA_URL;
const shots = process.env.KORIMBA_SCREENSHOT_DIR || "build/screenshots";
const PASSWORD = process.env.KORIMBA_DEMO_PASSWORD || "demo-office";
const DAVID = "10";
const SOFIA = "11";

let browser, anna, david;

async function signIn(login) {
  const context = await browser.newContext({ locale: "en-US", viewport: { width: 1200, height: 900 } });
  const page = await context.newPage();
  await page.goto(`${base}/signin`);
  await page.fill("#login", login);
  await page.fill("#password", PASSWORD);
  await Promise.all([page.waitForURL(`${base}/`), page.click("form[action='/signin'] button")]);
  return page;
}

before(async () => {
  assert.ok(base, "KORIMBA_URL is not set");
  browser = await chromium.launch({
    executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
           "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  });
  anna = await signIn("anna");
  david = await signIn("david");
});

after(async () => {
  await browser?.close();
});

// The text of David's newest message from Anna, as his conversation shows it.
async function davidSees(text) {
  await david.goto(`${base}/messages?with=9`);
  return david.locator("ul.messages li", { hasText: text }).count();
}

test("a group message changed from tracking changes every copy and keeps the count", async () => {
  const original = `Outing ${Date.now()}`;
  await anna.goto(`${base}/messages/group`);
  await anna.check(`input[name="to"][value="${DAVID}"]`);
  await anna.check(`input[name="to"][value="${SOFIA}"]`);
  await anna.fill("#content", original);
  await Promise.all([anna.waitForURL(/\/tracking/), anna.click("#group-form button")]);

  // David opens his copy: one of two read.
  await david.goto(`${base}/messages?with=9`);
  const item = david.locator("ul.messages li", { hasText: original }).first();
  await Promise.all([david.waitForURL(/\/messages\/open/), item.locator("a", { hasText: "Open" }).click()]);

  await anna.goto(`${base}/tracking`);
  const entry = anna.locator("#tracking tr", { hasText: original }).first();
  await Promise.all([anna.waitForURL(/\/messages\/group\/edit/),
                     entry.locator("a", { hasText: "Change or delete" }).click()]);
  assert.equal(await anna.inputValue("#content"), original);
  assert.equal((await anna.textContent("#group-marker span")).trim(), "【群发消息】");
  assert.equal(await anna.textContent("#group-read"), "1");
  assert.equal(await anna.textContent("#group-total"), "2");

  const changed = `${original} moved to Friday`;
  await anna.fill("#content", changed);
  await Promise.all([anna.waitForURL(/\/tracking\/minute/), anna.click("#group-edit button")]);
  assert.match(await anna.textContent("main"), /1\s+of\s+2\s+copies read/);
  assert.equal(await anna.locator("#copies tr", { hasText: changed }).count(), 2);
  assert.equal(await davidSees(changed), 1);

  // Deleting asks first; "no" keeps every copy.
  await anna.goto(`${base}/tracking`);
  await Promise.all([anna.waitForURL(/\/messages\/group\/edit/),
                     anna.locator("#tracking tr", { hasText: changed }).first()
                       .locator("a", { hasText: "Change or delete" }).click()]);
  const asked = [];
  anna.once("dialog", (d) => { asked.push(d.message()); d.dismiss(); });
  await anna.click("#group-delete button");
  assert.deepEqual(asked, ["Delete this group message for all 2 persons?"]);
  assert.match(anna.url(), /\/messages\/group\/edit/);
  assert.equal(await davidSees(changed), 1);

  anna.once("dialog", (d) => d.accept());
  await Promise.all([anna.waitForURL(/\/tracking\?done=deleted/), anna.click("#group-delete button")]);
  assert.equal(await anna.locator("#tracking tr", { hasText: changed }).count(), 0);
  assert.equal(await davidSees(changed), 0);
});
