// Drives the demo page of quillon-serve in headless Chromium: the preview must carry exactly
// the text's bytes (decoded with zxing-cpp), errors and warnings show beside it, the copied
// URL and CLI command make the same picture, and on a phone the preview comes first.
//
//   node demo_page.mjs QUILLON_SERVE QUILLON DECODE_PDF417 SCREENSHOT.png
import { execFileSync, spawn } from "node:child_process";
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { chromium } from "playwright-core";

const [serveBinary, quillonBinary, decoderBinary, screenshotPath] = process.argv.slice(2);
if (!screenshotPath) {
  console.error("usage: node demo_page.mjs QUILLON_SERVE QUILLON DECODE_PDF417 SCREENSHOT.png");
  process.exit(2);
}
const scratch = mkdtempSync(join(tmpdir(), "quillon-browser-"));

function fail(message) {
  console.error("FAIL: " + message);
  process.exitCode = 1;
}

// Starts the host on a free port and resolves with its base URL.
function startHost() {
  const host = spawn(serveBinary, ["--port", "0", "--threads", "2", "--quiet"], {
    stdio: ["ignore", "pipe", "inherit"],
  });
  return new Promise((resolve, reject) => {
    let seen = "";
    host.stdout.on("data", (chunk) => {
      seen += chunk;
      const match = seen.match(/listening on (http:\/\/\S+\/)/);
      if (match) resolve({ host, url: match[1] });
    });
    host.on("exit", (code) => reject(new Error("quillon-serve exited with " + code)));
  });
}

async function fetchBytes(url) {
  const response = await fetch(url);
  if (!response.ok) throw new Error(`${url}: ${response.status} ${await response.text()}`);
  return Buffer.from(await response.arrayBuffer());
}

// The bytes the symbol of a PNG carries, as zxing-cpp reads them, in hexadecimal.
function decodedHex(png) {
  const file = join(scratch, "decode.png");
  writeFileSync(file, png);
  try {
    return execFileSync(decoderBinary, [file], { encoding: "utf8" }).trim();
  } catch (error) {
    return "<" + (error.stderr || error.message).trim() + ">";
  }
}

const { host, url } = await startHost();
let browser = null;
try {
  // Playwright gives every launch a fresh, empty profile of its own.
  browser = await chromium.launch({
    executablePath: "/usr/bin/chromium",
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
           "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  });
  const page = await browser.newPage({ viewport: { width: 1280, height: 900 } });
  page.on("pageerror", (error) => fail("the page's script failed: " + error.message));
  await page.goto(url);

  // Waits until the preview shows the picture of the current settings and returns the
  // measured size next to the picture's natural size.
  async function settled(expectedData) {
    await page.waitForFunction((data) => {
      const img = document.getElementById("preview");
      return img.complete && img.naturalWidth > 0 &&
             img.dataset.url && new URL(img.dataset.url, location.href).searchParams.get("Data") === data &&
             document.getElementById("natural").textContent ===
               img.naturalWidth + " × " + img.naturalHeight;
    }, expectedData, { timeout: 15000 });
    return page.evaluate(() => {
      const img = document.getElementById("preview");
      return { measured: document.getElementById("size").textContent,
               natural: img.naturalWidth + " × " + img.naturalHeight,
               rows: document.getElementById("rows").textContent,
               src: new URL(img.dataset.url, location.href).href };
    });
  }

  // The preview must carry the text's UTF-8 bytes, whatever else the page sends.
  async function expectPreviewCarries(text) {
    const shown = await settled(text);
    const png = await fetchBytes(shown.src);
    const expected = Buffer.from(text, "utf8").toString("hex");
    const decoded = decodedHex(png);
    if (decoded !== expected) {
      const readable = decoded.startsWith("<") ? decoded : Buffer.from(decoded, "hex").toString("latin1");
      fail(`the preview of "${text}" carries ${readable.slice(0, 80)}`);
    }
    if (shown.measured !== shown.natural) {
      fail(`natural size ${shown.natural} is not the measured size ${shown.measured}`);
    }
    return { ...shown, png };
  }

  // The form's hints, limits and help come from the component's property table, and each
  // property's help is shown, not only in a tooltip.
  const wiring = await page.evaluate(() => PROPERTIES.flatMap((p) => {
    const control = document.getElementById(p.name);
    if (!control) return [];
    const problems = [];
    if (control.title !== p.help) problems.push(`${p.name}: help ${control.title}`);
    const label = control.closest("label");
    const hint = label?.querySelector("small");
    if (hint && control.type !== "checkbox" && hint.textContent !== p.accepted) {
      problems.push(`${p.name}: hint ${hint.textContent}`);
    }
    if (control.type === "number" && p.low !== undefined &&
        (control.min !== String(p.low) || control.max !== String(p.high))) {
      problems.push(`${p.name}: range ${control.min}..${control.max}`);
    }
    const help = [...(label ?? control.parentElement).querySelectorAll(".help")]
      .find((h) => h.textContent.startsWith(p.help));
    if (!help || help.offsetParent === null) problems.push(`${p.name}: help not shown`);
    return problems;
  }));
  // As many as the command line's help lists (a line each: name, type, default, accepted values).
  const helpLines = execFileSync(quillonBinary, ["--help"], { encoding: "utf8" })
    .split("\n").filter((line) => /^  [A-Z]\w* .* accepted: /.test(line)).length;
  if ((await page.evaluate(() => PROPERTIES.length)) !== helpLines || helpLines < 15) {
    fail("the page lacks the property table");
  }
  for (const problem of wiring) fail("form does not follow the property table: " + problem);

  // The default state, then text in three scripts (and an emoji beyond the BMP).
  const first = await expectPreviewCarries("Quillon PDF417");
  if (!(await page.isDisabled("#HandleTilde"))) fail("HandleTilde can be set in UTF-8 mode");
  let last = first;
  for (const text of ["Καλημέρα κόσμε, Ελληνικά", "Привет, мир — кириллица",
                      "你好，世界。中文的条码 🎉"]) {
    await page.fill("#Data", text);
    last = await expectPreviewCarries(text);
  }
  if (last.src === first.src) fail("the preview did not reload after the data changed");
  const longer = "Ελληνικά, 中文 and a much longer line of data to raise the row count";
  await page.fill("#Data", longer);
  const grown = await expectPreviewCarries(longer);
  if (Number(grown.rows) <= Number(first.rows)) fail("longer data did not give more rows");
  if ((await page.textContent("#error")).trim() !== "") fail("the page shows an error");

  // Copy as URL and as a CLI command: both make the very picture of the preview.
  await page.click("#copy-url");
  const copiedUrl = await page.inputValue("#share");
  if (!(await fetchBytes(copiedUrl)).equals(grown.png)) fail(`the copied URL ${copiedUrl} differs`);
  await page.click("#copy-cli");
  const command = await page.inputValue("#share");
  const output = join(scratch, "cli.png");
  const runnable = command.replace(/^quillon /, `'${quillonBinary}' `)
                          .replace(" -o quillon.png ", ` -o '${output}' `);
  try {
    execFileSync("/bin/sh", ["-c", runnable], { stdio: ["ignore", "ignore", "pipe"] });
    if (!readFileSync(output).equals(grown.png)) fail(`the copied command draws another picture: ${command}`);
  } catch (error) {
    fail(`the copied command fails: ${command}: ${error.stderr}`);
  }

  // The server's warning is shown: Columns=99 is outside the accepted range.
  await page.fill("#Columns", "99");
  await page.waitForFunction(() => document.getElementById("warning").textContent.includes(
    "Columns=99 is outside the accepted range"), null, { timeout: 15000 });
  await page.fill("#Columns", "3");
  await page.waitForFunction(() => document.getElementById("warning").textContent === "", null,
                             { timeout: 15000 });

  // An error is shown beside the preview, and what belongs to earlier settings is marked.
  await page.fill("#ErrorCorrectionLevel", "8");
  await page.fill("#Data", "x".repeat(2000));
  await page.waitForFunction(() => document.getElementById("error").textContent.startsWith("422"),
                             null, { timeout: 15000 });
  const stale = await page.evaluate(() => ({
    marked: document.getElementById("preview-box").classList.contains("stale"),
    rows: document.getElementById("rows").textContent,
    download: document.getElementById("download").hasAttribute("href"),
  }));
  if (!stale.marked || stale.rows !== "–" || stale.download) {
    fail("after an error the old picture, figures or download are still offered: " + JSON.stringify(stale));
  }
  const errorBox = await page.locator("#error").boundingBox();
  const previewBox = await page.locator("#preview-box").boundingBox();
  if (!errorBox || errorBox.y > previewBox.y + previewBox.height + 40) fail("the error is not beside the preview");
  await page.fill("#ErrorCorrectionLevel", "2");
  await page.fill("#Data", "Quillon PDF417");
  await expectPreviewCarries("Quillon PDF417");
  if ((await page.textContent("#error")).trim() !== "") fail("the error stays after it is mended");
  await page.screenshot({ path: screenshotPath, fullPage: true });

  // On a phone the preview comes before the form.
  await page.setViewportSize({ width: 390, height: 844 });
  const result = await page.locator("#result").boundingBox();
  const form = await page.locator("#settings").boundingBox();
  if (!(result.y < form.y)) fail(`on a phone the preview (y ${result.y}) is below the form (y ${form.y})`);

  console.log(`demo page: ${first.measured} -> ${grown.measured}, ${grown.rows} rows; ` +
              `screenshot ${screenshotPath}`);
} catch (error) {
  fail(error.message);
} finally {
  if (browser) await browser.close();
  host.kill("SIGTERM");
  rmSync(scratch, { recursive: true, force: true });
}
if (process.exitCode) process.exit(process.exitCode);
