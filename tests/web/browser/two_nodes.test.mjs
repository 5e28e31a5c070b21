// Two `korimba serve` nodes on one embedded database file and one Redis, in
// the browser: Anna signs in on node 1 and David on node 2; each sees the
// other on line, Anna's session works on node 2 as well, and a message Anna
// writes on node 1 is read by David on node 2. The test starts its own
// redis-server (no persistence, a free loopback port) and both nodes, and
// skips where redis-server is missing.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { spawn, execFileSync } from "node:child_process";
import fs from "node:fs";
import net from "node:net";
import os from "node:os";
import path from "node:path";
import { chromium } from "playwright-core";

const program = process.env.KORIMBA_PROGRAM;
const redisServer = "/usr/bin/redis-server";
const skip = !fs.existsSync(redisServer) ? "redis-server is not installed" : false;
const ANNA = "9";   // persons of the demo office
const DAVID = "10";
const LOGINS = { [ANNA]: "anna", [DAVID]: "david" };
const PASSWORD = process.env.KORIMBA_DEMO_PASSWORD || "demo-office";

let work, redis, browser, anna, david;
const nodes = [];

function freePort() {
  return new Promise((resolve) => {
    const server = net.createServer().listen(0, "127.0.0.1", () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

async function until(what, check, ms = 20000) {
  const end = Date.now() + ms;
  while (Date.now() < end) {
    const value = await check();
    if (value) return value;
    await new Promise((r) => setTimeout(r, 50));
  }
  throw new Error(`timed out waiting for ${what}`);
}

async function startNode(state) {
  const log = path.join(work, `node${nodes.length + 1}.log`);
  const out = fs.openSync(log, "w");
  const child = spawn(program, ["serve", "--db", `sqlite:${work}/office.db`, "--listen", "127.0.0.1:0",
                                "--state", state, "--attachments", `${work}/files`],
                      { stdio: ["ignore", out, out] });
  nodes.push(child);
  return until("a node to start", () => {
    const m = fs.readFileSync(log, "utf8").match(/pages at (http:\/\/127\.0\.0\.1:\d+)\//);
    return m && m[1];
  });
}

async function signIn(context, base, person) {
  const page = await context.newPage();
  await page.goto(`${base}/signin`);
  await page.fill("#login", LOGINS[person]);
  await page.fill("#password", PASSWORD);
  await Promise.all([page.waitForURL(`${base}/`), page.click("form[action='/signin'] button")]);
  return page;
}

let node1, node2;

before(async () => {
  if (skip) return;
  assert.ok(program, "KORIMBA_PROGRAM is not set");
  work = fs.mkdtempSync(path.join(os.tmpdir(), "korimba-nodes-"));
  execFileSync(program, ["init-db", "--demo", "--db", `sqlite:${work}/office.db`],
               { env: { ...process.env, KORIMBA_PASSWORD_COST: "minimum" }, stdio: "ignore" });
  const port = await freePort();
  redis = spawn(redisServer, ["--port", String(port), "--bind", "127.0.0.1", "--save", "",
                              "--appendonly", "no"], { stdio: "ignore" });
  await until("redis-server", () => new Promise((resolve) => {
    const socket = net.connect(port, "127.0.0.1", () => { socket.end(); resolve(true); });
    socket.on("error", () => resolve(false));
  }));
  node1 = await startNode(`redis://127.0.0.1:${port}`);
  node2 = await startNode(`redis://127.0.0.1:${port}`);
  browser = await chromium.launch({
    executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
           "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  });
  anna = await signIn(await browser.newContext(), node1, ANNA);
  david = await signIn(await browser.newContext(), node2, DAVID);
});

after(async () => {
  await browser?.close();
  for (const child of [...nodes, redis]) child?.kill("SIGTERM");
  if (work) fs.rmSync(work, { recursive: true, force: true });
});

test("persons on two nodes see each other on line", { skip }, async () => {
  // Each home page polls the on-line list of its own node every 5 seconds.
  await anna.waitForSelector(`#online [data-person="${DAVID}"]`, { timeout: 15000 });
  await david.waitForSelector(`#online [data-person="${ANNA}"]`, { timeout: 15000 });
});

test("a session from node 1 works on node 2", { skip }, async () => {
  // Cookies do not depend on the port: Anna's browser sends hers to node 2.
  const page = await anna.context().newPage();
  await page.goto(`${node2}/`);
  assert.notEqual(new URL(page.url()).pathname, "/signin");
  assert.match(await page.textContent("body"), /Anna Kowalski/);
  await page.close();
});

test("a message written on node 1 is read on node 2", { skip }, async () => {
  const text = `Across the nodes ${Date.now()}`;
  await anna.goto(`${node1}/messages?with=${DAVID}`);
  await anna.fill("#content", text);
  await Promise.all([anna.waitForURL(/done=sent/), anna.click("#write button")]);
  await david.goto(`${node2}/messages?with=${ANNA}`);
  assert.match(await david.textContent("ul.messages"), new RegExp(text));
});
