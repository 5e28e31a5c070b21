// Browser tests of the office pages: two persons in two browser contexts
// against a running `korimba serve` (KORIMBA_URL), driven through Debian's
// chromium. Screenshots go to KORIMBA_SCREENSHOT_DIR.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import fs from "node:fs";
import path from "node:path";
import { chromium } from "playwright-core";

const base = process.env.KORIMBA_URL;
const shots = process.env.KORIMBA_SCREENSHOT_DIR || "build/screenshots";
const ANNA = "9";   // persons of the demo office
const DAVID = "10";

let browser, anna, david;

// The demo office's accounts (korimba init-db --demo), one password for all.
const LOGINS = { [ANNA]: "anna", [DAVID]: "david" };
const PASSWORD = process.env.KORIMBA_DEMO_PASSWORD || "demo-office";

async function signIn(context, person) {
  const page = await context.newPage();
  await page.goto(`${base}/signin`);
  await page.fill("#login", LOGINS[person]);
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
  const a = await browser.newContext({ acceptDownloads: true, viewport: { width: 1200, height: 900 } });
  const d = await browser.newContext({ acceptDownloads: true, viewport: { width: 1200, height: 900 } });
  anna = await signIn(a, ANNA);
  david = await signIn(d, DAVID);
});

after(async () => {
  await browser?.close();
});

test("each person sees the other on line", async () => {
  // Anna's list learns of David at her next poll (every 5 seconds).
  await anna.waitForSelector(`#online [data-person="${DAVID}"]`, { timeout: 15000 });
  await david.waitForSelector(`#online [data-person="${ANNA}"]`, { timeout: 15000 });
  await anna.screenshot({ path: path.join(shots, "home.png"), fullPage: true });
});

const content = `Budget notes ${Date.now()} <b>draft</b>`;
const fileName = "预算 notes.bin";
const fileBytes = Buffer.from(Array.from({ length: 3000 }, (_, i) => (i * 31) % 256));

test("a group message with an attachment is counted, opened, downloaded and tracked", async () => {
  await david.goto(`${base}/`);
  const unreadBefore = Number(await david.textContent("#unread-count"));

  await anna.goto(`${base}/messages/group`);
  await anna.check(`input[name="to"][value="${DAVID}"]`);
  await anna.fill("#title", "Budget");
  await anna.fill("#content", content);
  await anna.setInputFiles("#file", { name: fileName, mimeType: "application/octet-stream", buffer: fileBytes });
  await Promise.all([anna.waitForURL(/\/tracking(\?done=sent)?$/), anna.click("#group-form button")]);

  await david.goto(`${base}/`);
  assert.equal(Number(await david.textContent("#unread-count")), unreadBefore + 1);

  await david.goto(`${base}/messages?with=${ANNA}`);
  const item = david.locator("ul.messages li", { hasText: "Budget notes" }).first();
  assert.ok(await item.evaluate((li) => li.classList.contains("unread")));
  await Promise.all([david.waitForURL(/\/messages\/open/), item.locator("a", { hasText: "Open" }).click()]);
  // Markup inside the message stays text.
  assert.equal(await david.textContent("#message .text"), `【群发消息】${content}`);
  const [download] = await Promise.all([david.waitForEvent("download"), david.click("#attachment")]);
  assert.equal(download.suggestedFilename(), fileName);
  const saved = fs.readFileSync(await download.path());
  assert.ok(saved.equals(fileBytes), "downloaded bytes differ from the uploaded ones");

  await david.goto(`${base}/`);
  assert.equal(Number(await david.textContent("#unread-count")), unreadBefore);

  await anna.goto(`${base}/tracking`);
  const entry = anna.locator("#tracking tr", { hasText: "Budget notes" }).first();
  await Promise.all([anna.waitForURL(/\/tracking\/minute/), entry.locator("a").first().click()]);
  const copy = anna.locator("#copies tr", { hasText: "David Mensah" }).first();
  assert.equal((await copy.locator(".state").textContent()).trim(), "read");
});

test("a plan on a month's last day shows in the month and the week", async () => {
  const text = "Quarter close <i>check</i>";
  await anna.goto(`${base}/plans/new?date=2031-01-31`);
  await anna.fill("#content", text);
  await anna.fill("#begin", "2031-01-31T15:00");
  await anna.fill("#end", "2031-01-31T16:30");
  await anna.fill("#place", "Room 2");
  await Promise.all([anna.waitForURL(/\/calendar\/month\?date=2031-01-31/), anna.click("#plan-form button")]);
  assert.equal((await anna.textContent('#month td[data-date="2031-01-31"] .plans')).trim(), `15:00 ${text}`);
  await Promise.all([anna.waitForURL(/\/plans\/view\?id=/),
                     anna.click('#month td[data-date="2031-01-31"] a.entry')]);
  assert.equal(await anna.textContent("#plan h2"), text);
  await anna.goBack();
  assert.equal(await anna.locator('#month td[data-date="2031-01-31"] .plans i').count(), 0);

  await anna.goto(`${base}/calendar/week?date=2031-01-31`);
  assert.ok((await anna.textContent("#week")).includes(text));
  await anna.click("text=Next week");
  assert.ok(!(await anna.textContent("main")).includes(text));

  await anna.goto(`${base}/calendar/month`);
  await anna.screenshot({ path: path.join(shots, "month.png"), fullPage: true });
});

test("a form posted without its token is refused", async () => {
  await anna.goto(`${base}/messages?with=${DAVID}`);
  await anna.fill("#content", "this must not be stored");
  await anna.evaluate(() => document.querySelector("#write input[name=token]").remove());
  const [response] = await Promise.all([
    anna.waitForResponse((r) => r.url().endsWith("/messages/send")),
    anna.click("#write button"),
  ]);
  assert.equal(response.status(), 403);
  assert.ok((await anna.textContent("#error")).includes("did not come from this site"));
  await anna.goto(`${base}/messages?with=${DAVID}`);
  assert.ok(!(await anna.textContent("main")).includes("this must not be stored"));
});
