// Browser tests of signing in: a password through the sign-in form, a wrong
// one refused, and the proxy mode, whose login header counts only from a
// trusted address. The proxy servers are started here, on their own demo
// databases, with the program run.sh names (KORIMBA_PROGRAM).
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { spawn, execFileSync } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { chromium } from "playwright-core";

const base = process.env.KORIMBA_URL;
const program = process.env.KORIMBA_PROGRAM;
const PASSWORD = process.env.KORIMBA_DEMO_PASSWORD || "demo-office";

let browser;
const servers = [];
const dirs = [];

// Starts `korimba serve` with `args` on a fresh demo office; resolves to its
// address once it prints it.
async function startServer(args) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), "korimba-signin-"));
  dirs.push(dir);
  const db = `sqlite:${dir}/office.db`;
  execFileSync(program, ["init-db", "--demo", "--db", db],
               { env: { ...process.env, KORIMBA_PASSWORD_COST: "minimum" } });
  const server = spawn(program, ["serve", "--db", db, "--listen", "127.0.0.1:0",
                                 "--attachments", `${dir}/files`, ...args]);
  servers.push(server);
  return await new Promise((resolve, reject) => {
    let out = "";
    const timer = setTimeout(() => reject(new Error(`no address in: ${out}`)), 10000);
    server.stdout.on("data", (chunk) => {
      out += chunk;
      const m = out.match(/http:\/\/127\.0\.0\.1:\d+/);
      if (m) { clearTimeout(timer); resolve(m[0]); }
    });
    server.on("exit", (code) => { clearTimeout(timer); reject(new Error(`exited ${code}: ${out}`)); });
  });
}

async function signInWith(login, password) {
  const context = await browser.newContext();
  const page = await context.newPage();
  await page.goto(`${base}/signin`);
  await page.fill("#login", login);
  await page.fill("#password", password);
  const [response] = await Promise.all([
    page.waitForNavigation(),
    page.click("form[action='/signin'] button"),
  ]);
  return { context, page, response };
}

before(async () => {
  assert.ok(base && program, "KORIMBA_URL and KORIMBA_PROGRAM must be set");
  browser = await chromium.launch({
    executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
           "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  });
});

after(async () => {
  await browser?.close();
  for (const server of servers) server.kill("SIGTERM");
  for (const dir of dirs) fs.rmSync(dir, { recursive: true, force: true });
});

test("a password signs in, and signing out ends it", async () => {
  const { context, page } = await signInWith("sofia", PASSWORD);
  assert.equal(new URL(page.url()).pathname, "/");
  assert.equal(await page.textContent("#me"), "Sofia Reyes");
  await Promise.all([page.waitForURL(`${base}/signin`), page.click("form[action='/signout'] button")]);
  const home = await page.goto(`${base}/`);
  assert.equal(new URL(home.url()).pathname, "/signin");
  await context.close();
});

test("a wrong password is refused and signs nobody in", async () => {
  const { context, page, response } = await signInWith("sofia", "not-the-password");
  assert.equal(response.status(), 401);
  assert.match(await page.textContent("[role=alert]"), /login or the password is wrong/);
  assert.equal(await page.inputValue("#login"), "sofia");
  assert.equal(await page.locator("#me").count(), 0);
  await context.close();
});

test("a proxy's login header counts only from a trusted address", async () => {
  const untrusted = await startServer(["--auth", "proxy", "--trusted-proxy", "192.0.2.1"]);
  const trusted = await startServer(["--auth", "proxy", "--trusted-proxy", "127.0.0.1,::1"]);
  const context = await browser.newContext({
    locale: "en-US",
    extraHTTPHeaders: { "Remote-User": "tom" },
  });
  const page = await context.newPage();

  const refused = await page.goto(`${untrusted}/`);
  assert.equal(refused.status(), 403);
  assert.match(await page.textContent("main"), /did not come through/);
  assert.equal(await page.locator("#me").count(), 0);

  const admitted = await page.goto(`${trusted}/`);
  assert.equal(admitted.status(), 200);
  assert.equal(await page.textContent("#me"), "Tom Becker");
  await context.close();
});
