// `hivesweep gui` in headless Chromium on a copy of the sample machine:
// home, scan, progress calls, results equal to `hivesweep scan`, the
// detailed list (two rows unticked), repair, the after-repair page, the new
// counts at home and the two unticked problems still in the results. Then
// the home page in German, Russian and Japanese (`--lang`): its texts from
// that language file, no text wider than its box.
// Writes a screenshot of every page into OUT_DIR.
//   node gui_flow.js HIVESWEEP MACHINE_DIR OUT_DIR
"use strict";
const { spawn, execFileSync } = require("child_process");
const fs = require("fs");
const os = require("os");
const path = require("path");
const puppeteer = require("puppeteer-core");

const [hivesweep, sample, outDir] = process.argv.slice(2);
if (!hivesweep || !sample || !outDir) {
  console.error("usage: node gui_flow.js HIVESWEEP MACHINE_DIR OUT_DIR");
  process.exit(2);
}
const work = fs.mkdtempSync(path.join(os.tmpdir(), "hs-gui-"));
const machine = path.join(work, "machine");
fs.cpSync(sample, machine, { recursive: true });
fs.rmSync(outDir, { recursive: true, force: true });
fs.mkdirSync(outDir, { recursive: true });

function check(ok, what) {
  if (!ok) throw new Error("failed: " + what);
  console.log("ok - " + what);
}

// Per area name, the counts `hivesweep scan` prints (ticked areas only).
function cliCounts() {
  const out = execFileSync(hivesweep, ["scan", "--machine", machine, "--data", path.join(work, "cli-data")],
                           { encoding: "utf8" });
  const counts = {};
  let total = -1;
  for (const line of out.split("\n")) {
    const m = /^  (\S.*?)\s+(\d+)$/.exec(line);
    if (!m) continue;
    if (m[1] === "Total") { total = Number(m[2]); break; }
    counts[m[1]] = Number(m[2]);
  }
  return { counts, total };
}

// The stored text of KEY in a language file beside the program.
function languageText(file, key) {
  const text = fs.readFileSync(path.join(path.dirname(hivesweep), file)).toString("utf16le").replace(/^\uFEFF/, "");
  const m = new RegExp("^" + key + "=(.*)$", "m").exec(text.replace(/\r/g, ""));
  return m ? m[1].trim() : "";
}

function startGui(lang = "en") {
  return new Promise((resolve, reject) => {
    const child = spawn(hivesweep, ["gui", "--machine", machine, "--data", path.join(work, "data-" + lang), "--no-browser",
                                    "--lang", lang],
                        { stdio: ["ignore", "pipe", "inherit"] });
    let buffer = "";
    child.stdout.on("data", (d) => {
      buffer += d;
      const m = /(http:\/\/127\.0\.0\.1:\d+\/[0-9a-f]{32}\/home\.html)/.exec(buffer);
      if (m) resolve({ child, address: m[1] });
    });
    child.on("exit", (code) => reject(new Error("hivesweep gui ended with " + code + ": " + buffer)));
  });
}

async function main() {
  const cli = cliCounts();
  check(cli.total > 0, "hivesweep scan finds problems on the sample machine (" + cli.total + ")");
  const { child, address } = await startGui();
  const browser = await puppeteer.launch({
    executablePath: "/usr/bin/chromium",
    headless: true,
    userDataDir: path.join(work, "chromium"),
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
           "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  });
  try {
    const page = await browser.newPage();
    page.on("pageerror", (e) => console.error("page error: " + e.message));
    if (process.env.HS_GUI_DEBUG) page.on("console", (m) => console.error("console: " + m.text()));
    page.on("close", () => console.error("page closed"));
    await page.setViewport({ width: 900, height: 680 });
    // The sample scans in milliseconds: the progress page's last answer,
    // the one that sends it on, is held until the page has been seen.
    let holdProgress = true;
    const held = [];
    await page.setRequestInterception(true);
    page.on("request", async (req) => {
      if (!holdProgress || !req.url().includes("/api/poll?page=scan_progress.html")) return req.continue();
      const body = await (await fetch(req.url())).text();
      const answer = () => req.respond({ status: 200, contentType: "application/json", body });
      if (JSON.parse(body).navigate) held.push(answer); else answer();
    });
    const shot = (name) => page.screenshot({ path: path.join(outDir, name + ".png"), fullPage: true });
    const calls = () => page.evaluate(() => JSON.parse(sessionStorage.getItem("hs-calls") || "{}"));
    const onPage = (file, test) =>
      page.waitForFunction(new Function("try { return location.pathname.endsWith('/" + file + "') && (" + test +
                                        "); } catch (e) { return false; }"),
                           { timeout: 30000 })
        .catch(async (e) => {
          console.error("waiting for " + file + " at " + page.url() + ": " + JSON.stringify(await calls()).slice(0, 3000));
          throw e;
        });
    const text = (sel) => page.$eval(sel, (e) => e.textContent);

    await page.goto(address);
    await onPage("home.html", "document.getElementById('string105').textContent !== '' && " +
                              "document.getElementById('problemCount').textContent !== ''");
    check((await text("#statusText")) !== "", "home shows its texts and status");
    check((await page.$("#nav242")) !== null, "the navigation bar is there");
    await shot("home");

    await page.click("#btnBottomStartscan");
    await onPage("scan_progress.html", "document.getElementById('string40').textContent !== ''");
    await page.waitForFunction(() => /SetScanProgressBar/.test(sessionStorage.getItem("hs-calls") || "") &&
                                     /updatePath/.test(sessionStorage.getItem("hs-calls")), { timeout: 20000 })
      .catch(async (e) => { console.error(JSON.stringify(await calls()).slice(0, 2000)); throw e; });
    await shot("scan_progress");
    const seen = await calls();
    for (const fn of ["setcheckboxstatus", "setvarsforscan", "SetScanProgressBar", "updatePath"])
      check(seen["scan_progress.html " + fn], "the progress page received " + fn);
    check(seen["scan_progress.html updatePath"].args.length === 3, "updatePath has three arguments");
    holdProgress = false;
    for (const answer of held) answer();
    await onPage("results.html", "document.getElementById('string150').textContent !== '' && " +
                                 "document.getElementById('totalCount').textContent !== '0'");
    await shot("results");
    const shown = await page.evaluate(() => {
      const out = {};
      for (let i = 0; i < AREAS.length; i++)
        out[document.getElementById(AREAS[i]).textContent] = Number(document.getElementById("count" + i).textContent);
      return out;
    });
    check(Object.keys(shown).length === 14, "the results page shows fourteen areas");
    for (const name of Object.keys(shown))
      check(shown[name] === (cli.counts[name] || 0), name + ": " + shown[name] + " as hivesweep scan");
    check(Number(await text("#totalCount")) === cli.total, "the total equals hivesweep scan's " + cli.total);

    await page.click("#btnbottomDetailedView");
    await onPage("details.html", "document.getElementById('IDS_STR_REG_ERR_DETAILS').textContent !== '' && " +
                                 "document.getElementById('detailRows').rows.length > 0");
    const rowCount = () => page.$$eval("#detailRows tr", (r) => r.length);
    check(await rowCount() === cli.total, "the detailed list has every problem");
    const entryOf = (i) => page.$eval("#detailRows tr:nth-child(" + (i + 1) + ") .entry", (e) => e.textContent);
    const kept = [await entryOf(0), await entryOf(1)];
    check(await page.$eval("#selectAll", (b) => b.checked && !b.indeterminate), "every row starts ticked");
    await page.click("#row0");
    await page.click("#row1");
    await page.waitForFunction(() => !document.getElementById("row0").checked && !document.getElementById("row1").checked,
                               { timeout: 10000 });
    check(await page.$eval("#selectAll", (b) => b.indeterminate), "with two rows unticked the select-all box is mixed");
    await page.click("#selectAll");
    await page.waitForFunction(() => document.getElementById("selectAll").checked, { timeout: 10000 });
    check(await page.$$eval("#detailRows input", (b) => b.every((x) => x.checked)), "select all ticks every row");
    await page.click("#row0");
    await page.click("#row1");
    await page.waitForFunction(() => !document.getElementById("row0").checked && !document.getElementById("row1").checked,
                               { timeout: 10000 });
    await shot("details");
    await page.click("#btnClose");
    await onPage("results.html", "!document.getElementById('summaryView').className.match(/hidden/) && " +
                                 "document.getElementById('totalCount').textContent !== '0'");
    check(Number(await text("#totalCount")) === cli.total, "closing the list keeps every problem");

    await page.click("#btnStartClean1");
    await onPage("after_repair.html", "document.getElementById('STR_IDS_CONGS').textContent !== ''");
    await shot("after_repair");

    await page.click("#nav242");
    await onPage("home.html", "document.getElementById('problemCount').textContent !== '' && " +
                              "document.getElementById('problemCount').textContent !== '\u2013'");
    const after = Number(await text("#problemCount"));
    check(after < cli.total && after >= 2, "home shows fewer problems after the repair (" + after + " of " + cli.total + ")");
    await shot("home_after_repair");
    await page.click("#idFixErrors");
    await onPage("results.html", "document.getElementById('totalCount').textContent === '" + after + "'");
    await page.click("#btnbottomDetailedView");
    await onPage("details.html", "document.getElementById('detailRows').rows.length === " + after);
    const left = await page.$$eval("#detailRows .entry", (e) => e.map((x) => x.textContent));
    for (const entry of kept) check(left.includes(entry), "the unticked problem stays in the results: " + entry);
    await page.click("#btnClose");
    await onPage("results.html", "!document.getElementById('summaryView').className.match(/hidden/)");

    await page.waitForSelector("#nav253");
    await page.click("#nav253");
    await onPage("scan_settings.html", "document.getElementById('lastScan').textContent !== ''");
    await shot("scan_settings");
    await page.click("#nav244");
    await onPage("optimisation.html", "document.getElementById('string200').textContent !== ''");
    await shot("optimisation");

    for (const [lang, file] of [["de", "German_hsw.ini"], ["ru", "russian_hsw_ru.ini"], ["ja", "Japanese_hsw.ini"]]) {
      const gui = await startGui(lang);
      try {
        await page.goto(gui.address);
        await onPage("home.html", "document.getElementById('string105').textContent !== '' && " +
                                  "document.getElementById('problemCount').textContent !== ''");
        await page.evaluate(() => document.fonts.ready);
        await shot("home_" + lang);
        for (const key of ["string105", "string101"])
          check((await text("#" + key)) === languageText(file, key), lang + ": " + key + " is the language file's text");
        check((await text("#nav253")).trim() === languageText(file, "IDS_BTN_SCAN_REG"), lang + ": the navigation's texts");
        // Text that needs more room than its box has is cut or spills.
        const cut = await page.evaluate(() => [...document.querySelectorAll("body *")]
          .filter((e) => e.offsetParent !== null && e.children.length === 0 && e.textContent.trim() !== "" &&
                         e.scrollWidth > e.clientWidth + 1 && e.clientWidth > 0)
          .map((e) => (e.id || e.tagName) + ": " + e.textContent.trim()));
        check(cut.length === 0, lang + ": no text wider than its box" + (cut.length ? " (" + cut.join("; ") + ")" : ""));
      } finally {
        gui.child.kill("SIGTERM");
      }
    }
  } finally {
    await browser.close();
    child.kill("SIGTERM");
    fs.rmSync(work, { recursive: true, force: true });
  }
}

main().then(() => console.log("gui flow passed"), (e) => { console.error(e); process.exit(1); });
