// Live pages in the browser, two persons in two contexts against a server of
// this test's own whose component clock starts at a known time
// (--test-clock): a message Anna sends shows up on David's open home page
// (count and tab title) and open conversation without a reload, with a
// browser notification; a reminder appears on the home page when its alert
// time comes.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { spawn, execFileSync } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { chromium } from "playwright-core";

const program = process.env.KORIMBA_PROGRAM;
const shots = process.env.KORIMBA_SCREENSHOT_DIR || "build/screenshots";
const ANNA = "9";   // persons of the demo office
const DAVID = "10";
const LOGINS = { [ANNA]: "anna", [DAVID]: "david" };
const PASSWORD = process.env.KORIMBA_DEMO_PASSWORD || "demo-office";
// A Monday morning far from the demo data's own dates, so nothing else is due.
const CLOCK_START = "2030-01-07 08:59:00";

let work, server, base, browser, started;

async function until(what, check, ms = 20000) {
  const end = Date.now() + ms;
  while (Date.now() < end) {
    const value = await check();
    if (value) return value;
    await new Promise((r) => setTimeout(r, 50));
  }
  throw new Error(`timed out waiting for ${what}`);
}

// Records the notifications a page would show once the visitor allows them
// (headless chromium shows none and never asks).
function recordNotifications() {
  window.__notes = [];
  window.Notification = class {
    static permission = "default";
    static requestPermission() {
      window.Notification.permission = "granted";
      return Promise.resolve("granted");
    }
    constructor(title, options) { window.__notes.push({ title, body: options?.body }); }
  };
}

// Allows notifications from the page's button, which then goes away.
async function allowNotifications(page) {
  await page.click("#notify-allow");
  await page.waitForSelector("#notify-allow", { state: "hidden", timeout: 2000 });
}

async function signIn(person) {
  const context = await browser.newContext({ viewport: { width: 1200, height: 900 } });
  await context.addInitScript(recordNotifications);
  const page = await context.newPage();
  await page.goto(`${base}/signin`);
  await page.fill("#login", LOGINS[person]);
  await page.fill("#password", PASSWORD);
  await Promise.all([page.waitForURL(`${base}/`), page.click("form[action='/signin'] button")]);
  return page;
}

// The server's clock now, as a form field's text ("yyyy-mm-dd hh:mm:ss"),
// `ahead` seconds on.
function serverTime(ahead) {
  const [d, t] = CLOCK_START.split(" ");
  const at = new Date(`${d}T${t}Z`).getTime() + (Date.now() - started) + ahead * 1000;
  return new Date(at).toISOString().slice(0, 19).replace("T", " ");
}

before(async () => {
  assert.ok(program, "KORIMBA_PROGRAM is not set");
  fs.mkdirSync(shots, { recursive: true });
  work = fs.mkdtempSync(path.join(os.tmpdir(), "korimba-live-"));
  execFileSync(program, ["init-db", "--demo", "--db", `sqlite:${work}/office.db`],
               { env: { ...process.env, KORIMBA_PASSWORD_COST: "minimum" }, stdio: "ignore" });
  const log = path.join(work, "serve.log");
  const out = fs.openSync(log, "w");
  server = spawn(program, ["serve", "--db", `sqlite:${work}/office.db`, "--listen", "127.0.0.1:0",
                           "--attachments", `${work}/files`, "--test-clock", CLOCK_START],
                 { stdio: ["ignore", out, out] });
  base = await until("the server to start", () => {
    const m = fs.readFileSync(log, "utf8").match(/pages at (http:\/\/127\.0\.0\.1:\d+)\//);
    return m && m[1];
  });
  // The clock starts just before the server listens: counting from here
  // puts our idea of its time a little behind, never ahead.
  started = Date.now();
  browser = await chromium.launch({
    executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
           "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  });
});

after(async () => {
  await browser?.close();
  server?.kill();
  if (work) fs.rmSync(work, { recursive: true, force: true });
});

test("a post reaches the other person's open pages without a reload", async () => {
  const anna = await signIn(ANNA);
  const david = await signIn(DAVID);
  const conversation = await david.context().newPage();
  await conversation.goto(`${base}/messages?with=${ANNA}`);
  for (const page of [david, conversation]) {
    await page.evaluate(() => { window.__notReloaded = true; });
    await page.waitForSelector("body[data-live-state='open']", { timeout: 10000 });
  }
  await allowNotifications(david);
  const before = Number(await david.textContent("#unread-count"));
  if (before > 0) assert.match(await david.title(), new RegExp(`^\\(${before}\\) `));

  await anna.goto(`${base}/messages?with=${DAVID}`);
  const text = `Lunch at twelve? ${Date.now()}`;
  await anna.fill("#content", text);
  const sentAt = Date.now();
  await Promise.all([anna.waitForURL(/\/messages\?with=/), anna.click("form[action='/messages/send'] button")]);

  await david.waitForFunction((n) => document.getElementById("unread-count").textContent === String(n),
                              before + 1, { timeout: 2000 });
  await david.waitForFunction((n) => document.title.startsWith(`(${n}) `), before + 1, { timeout: 2000 });
  await conversation.waitForSelector(`ul.messages li:has-text("${text}")`, { timeout: 2000 });
  assert.ok(Date.now() - sentAt < 4000, "the updates came within 2 s of the post");
  for (const page of [david, conversation]) {
    assert.equal(await page.evaluate(() => window.__notReloaded), true, "the page was not reloaded");
  }
  const notes = await david.evaluate(() => window.__notes);
  assert.ok(notes.some((n) => n.title.includes("Anna") || n.body === text), JSON.stringify(notes));
  await david.screenshot({ path: path.join(shots, "live-home.png"), fullPage: true });
  await conversation.screenshot({ path: path.join(shots, "live-conversation.png"), fullPage: true });
  await anna.context().close();
  await david.context().close();
});

test("a reminder appears on the home page when its alert time comes", async () => {
  const anna = await signIn(ANNA);
  const content = `Budget review ${Date.now()}`;
  // A plan whose alert comes 6 s from now and which begins half an hour later.
  const alert = serverTime(6);
  const begin = serverTime(1800);
  const end = serverTime(3600);
  const status = await anna.evaluate(async ({ content, alert, begin, end }) => {
    const form = new FormData();
    form.set("token", document.querySelector("input[name='token']").value);
    form.set("content", content);
    form.set("begin", begin);
    form.set("end", end);
    form.set("alert", alert);
    form.set("place", "Room 3");
    const r = await fetch("/plans/add", { method: "POST", body: form, redirect: "manual" });
    return r.type === "opaqueredirect" ? 303 : r.status;
  }, { content, alert, begin, end });
  assert.equal(status, 303);

  await anna.goto(`${base}/`);
  await allowNotifications(anna);
  await anna.evaluate(() => { window.__notReloaded = true; });
  assert.equal(await anna.locator("#reminders li", { hasText: content }).count(), 0, "not due yet");
  await anna.waitForSelector(`#reminders li:has-text("${content}")`, { timeout: 15000 });
  await anna.waitForSelector(`.live-notice:has-text("${content}")`, { timeout: 2000 });
  assert.equal(await anna.evaluate(() => window.__notReloaded), true);
  const notes = await anna.evaluate(() => window.__notes);
  assert.ok(notes.some((n) => n.title.includes(content)), JSON.stringify(notes));
  await anna.screenshot({ path: path.join(shots, "live-reminder.png"), fullPage: true });

  // Announced once per session: a reload lists it but does not announce it again.
  await anna.reload();
  await anna.waitForSelector("body[data-live-state='open']", { timeout: 10000 });
  await anna.waitForTimeout(1500);
  assert.equal(await anna.locator("#reminders li", { hasText: content }).count(), 1);
  assert.equal(await anna.locator(".live-notice").count(), 0);
  await anna.context().close();
});
