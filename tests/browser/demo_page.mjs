// Drives the demo page of quillon-serve in headless Chromium: the preview must carry exactly
// the text's bytes, or the bytes given (decoded with zxing-cpp), in a picture that holds the
// whole symbol and its quiet zone; errors and warnings show beside it, a picture that cuts the
// symbol off is marked, the copied URL and CLI command make the same picture, a reload keeps
// the settings, MicroPDF417 leaves out what does not apply to it, and on a phone the preview
// comes first.
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
  const asked = [];
  page.on("request", (r) => asked.push(new URL(r.url()).pathname));
  await page.goto(url);

  // Waits until the preview shows the picture of the current settings, the bytes of its
  // query's Data being `sentHex`, and returns what the page shows of it.
  async function settled(sentHex) {
    await page.waitForFunction((expected) => {
      const img = document.getElementById("preview");
      if (!img.complete || img.naturalWidth === 0 || !img.dataset.url) return false;
      const item = img.dataset.url.split("?")[1].split("&").find((i) => i.startsWith("Data="));
      const value = item.slice(5).replaceAll("+", " ");
      let bytes = "";
      for (let i = 0; i < value.length;) {
        if (value[i] === "%") { bytes += value.substr(i + 1, 2).toLowerCase(); i += 3; }
        else { bytes += value.charCodeAt(i).toString(16).padStart(2, "0"); i += 1; }
      }
      // The picture of the current settings, and the page has taken it in.
      return bytes === expected && img.dataset.url === "/barcode.png?" + query();
    }, sentHex, { timeout: 15000 });
    return page.evaluate(() => {
      const img = document.getElementById("preview");
      return { measured: document.getElementById("size").textContent,
               natural: img.naturalWidth + " × " + img.naturalHeight,
               boxes: document.getElementById("Width").value + " × " + document.getElementById("Height").value,
               rows: document.getElementById("rows").textContent,
               warning: document.getElementById("warning").textContent,
               clipped: document.getElementById("download").classList.contains("clipped"),
               download: document.getElementById("download").getAttribute("download"),
               src: new URL(img.dataset.url, location.href).href };
    });
  }

  // The preview must carry `bytes` (a Buffer), in the picture the host sized: the symbol and
  // its quiet zone of 2 modules of 3 pixels on every side, shown in the Width and Height boxes.
  async function expectPreviewCarries(bytes, what, sent = bytes) {
    const shown = await settled(sent.toString("hex"));
    const png = await fetchBytes(shown.src);
    const decoded = decodedHex(png);
    if (decoded !== bytes.toString("hex")) {
      const readable = decoded.startsWith("<") ? decoded : Buffer.from(decoded, "hex").toString("latin1");
      fail(`the preview of ${what} carries ${readable.slice(0, 80)}`);
    }
    const [width, height] = shown.measured.split(" × ").map(Number);
    if (shown.natural !== `${width + 12} × ${height + 12}` || shown.boxes !== shown.natural) {
      fail(`the picture of ${what} is ${shown.natural} (boxes ${shown.boxes}), not the symbol ${shown.measured} and its quiet zone`);
    }
    if (shown.clipped) fail(`the download of ${what} is marked as cut off`);
    return { ...shown, png };
  }
  const utf8 = (text) => Buffer.from(text, "utf8");

  // The form's hints, limits and help come from the component's property table, and each
  // property's help is shown, not only in a tooltip; Data's says how the box is read.
  const wiring = await page.evaluate(() => PROPERTIES.flatMap((p) => {
    const control = document.getElementById(p.name);
    if (!control) return [];
    const problems = [];
    const label = control.closest("label");
    if (!label || control.labels.length === 0) problems.push(`${p.name}: no label`);
    const hint = label?.querySelector("small");
    if (hint && control.type !== "checkbox" && hint.textContent !== p.accepted) {
      problems.push(`${p.name}: hint ${hint.textContent}`);
    }
    if (control.type === "number" && p.low !== undefined &&
        (control.min !== String(p.low) || control.max !== String(p.high))) {
      problems.push(`${p.name}: range ${control.min}..${control.max}`);
    }
    if (p.name === "Data") return problems;
    if (control.title !== p.help) problems.push(`${p.name}: help ${control.title}`);
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
  const dataHelp = async () => page.textContent("#Data-help");

  // The default state: UTF-8 text, in a picture the host sizes; then text in three scripts
  // (and an emoji beyond the BMP).
  const first = await expectPreviewCarries(utf8("Quillon PDF417"), "the start");
  if (first.download !== "Quillon-PDF417.png") fail(`the download is named ${first.download}`);
  if (!(await page.isDisabled("#HandleTilde"))) fail("HandleTilde can be set in UTF-8 mode");
  if (!(await dataHelp()).includes("UTF-8 bytes")) fail("in UTF-8 mode Data's help says " + await dataHelp());
  let last = first;
  for (const text of ["Καλημέρα κόσμε, Ελληνικά", "Привет, мир — кириллица",
                      "你好，世界。中文的条码 🎉"]) {
    await page.fill("#Data", text);
    last = await expectPreviewCarries(utf8(text), text);
  }
  if (last.src === first.src) fail("the preview did not reload after the data changed");
  const longer = "Ελληνικά, 中文 and a much longer line of data to raise the row count";
  await page.fill("#Data", longer);
  const grown = await expectPreviewCarries(utf8(longer), "a longer text");
  if (Number(grown.rows) <= Number(first.rows)) fail("longer data did not give more rows");
  if ((await page.textContent("#error")).trim() !== "") fail("the page shows an error");

  // Copy as URL and as a CLI command: both make the very picture of the preview.
  async function expectCopiesDraw(png, what) {
    await page.click("#copy-url");
    const copiedUrl = await page.inputValue("#share");
    if (!(await fetchBytes(copiedUrl)).equals(png)) fail(`the copied URL ${copiedUrl} of ${what} differs`);
    await page.click("#copy-cli");
    const command = await page.inputValue("#share");
    const output = join(scratch, "cli.png");
    rmSync(output, { force: true });
    const runnable = command.replace(/(^|\| )quillon /, `$1'${quillonBinary}' `)
                            .replace(/ -o ('[^']*'|\S+) /, ` -o '${output}' `);
    try {
      execFileSync("/bin/sh", ["-c", runnable], { stdio: ["ignore", "ignore", "pipe"] });
      if (!readFileSync(output).equals(png)) fail(`the copied command draws another picture: ${command}`);
    } catch (error) {
      fail(`the copied command fails: ${command}: ${error.stderr}`);
    }
  }
  await expectCopiesDraw(grown.png, "a longer text");

  // Bytes: %XX is any byte, the zero byte and the C1 range included, and the preview carries
  // exactly them; the copied command pipes them through printf into quillon.
  await page.selectOption("#encoding", "binary");
  if (!(await dataHelp()).includes("%XX is the byte XX")) fail("in byte mode Data's help says " + await dataHelp());
  const bytesBox = "caf%E9 %00%80%9F%FF ~d065 100%25 \\ '";
  const bytes = Buffer.concat([Buffer.from("caf"), Buffer.from([0xe9, 0x20, 0x00, 0x80, 0x9f, 0xff]),
                               Buffer.from(" ~d065 100% \\ '")]);
  await page.fill("#Data", bytesBox);
  const binary = await expectPreviewCarries(bytes, "bytes");
  if (binary.warning !== "") fail("bytes are warned about: " + binary.warning);
  await expectCopiesDraw(binary.png, "bytes");

  // A reload keeps the settings, which the page's address holds.
  await page.reload();
  await expectPreviewCarries(bytes, "bytes after a reload");
  const kept = await page.evaluate(() => [document.getElementById("encoding").value,
                                          document.getElementById("Data").value]);
  if (kept[0] !== "binary" || kept[1] !== bytesBox) fail("a reload lost the settings: " + kept);

  // Windows-1252 text: what it cannot hold is warned about, with the count and the first place.
  await page.selectOption("#encoding", "text");
  if ((await dataHelp()) !== (await page.evaluate(() => PROPERTIES.find((p) => p.name === "Data").help))) {
    fail("in text mode Data's help is not the property's");
  }
  await page.fill("#Data", "Grüße, Ελλάδα");
  await page.waitForFunction(() => document.getElementById("warning").textContent.includes(
    "Data: 6 characters become '?', having no Windows-1252 byte (the first at byte 9: 'Ε')"),
    null, { timeout: 15000 });
  await expectPreviewCarries(Buffer.from("Grüße, ??????", "latin1"), "Windows-1252 text",
                             utf8("Grüße, Ελλάδα"));
  await page.selectOption("#encoding", "utf8");
  await page.fill("#Data", "Quillon PDF417");
  await expectPreviewCarries(utf8("Quillon PDF417"), "the start again");

  // The server's warning is shown: Columns=99 is outside the accepted range.
  await page.fill("#Columns", "99");
  await page.waitForFunction(() => document.getElementById("warning").textContent.includes(
    "Columns=99 is outside the accepted range"), null, { timeout: 15000 });
  await page.fill("#Columns", "3");
  await page.waitForFunction(() => document.getElementById("warning").textContent === "", null,
                             { timeout: 15000 });

  // MicroPDF417: the settings of PDF417 alone are disabled and left out (Columns=5 is neither
  // sent nor warned about), its own size is offered, and the copies draw the very picture.
  await page.fill("#Columns", "5");
  await page.selectOption("#Symbology", "1");
  const micro = await settled(utf8("Quillon PDF417").toString("hex"));
  const microQuery = new URL(micro.src).search;
  if (!microQuery.includes("Symbology=1") || microQuery.includes("Columns")) {
    fail("the MicroPDF417 query is " + microQuery);
  }
  if (!(await page.isDisabled("#Columns")) || (await page.isDisabled("#MicroRows"))) {
    fail("for MicroPDF417 Columns is not disabled, or MicroRows is");
  }
  if (micro.warning !== "") fail("the MicroPDF417 symbol is warned about: " + micro.warning);
  await expectCopiesDraw(await fetchBytes(micro.src), "a MicroPDF417 symbol");
  await page.selectOption("#Symbology", "0");
  await page.fill("#Columns", "3");
  if (!(await page.isDisabled("#MicroRows"))) fail("for PDF417 MicroRows is not disabled");

  // A picture size that cuts the symbol off is warned about, and the download is marked.
  await page.uncheck("#fit");
  await page.fill("#Width", "200");
  await page.waitForFunction(() => document.getElementById("download").classList.contains("clipped") &&
    document.getElementById("warning").textContent.includes("is cut off"), null, { timeout: 15000 });
  if (!(await page.textContent("#download")).includes("cut off")) fail("a clipped download is not marked");
  await page.check("#fit");
  await expectPreviewCarries(utf8("Quillon PDF417"), "the start, fitted again");

  // The compressed PNG's box asks for compress=1: the same picture, in a smaller file.
  const uncompressed = await fetchBytes(new URL(await page.getAttribute("#download", "href"), url).href);
  await page.check("#compress");
  const compressed = await expectPreviewCarries(utf8("Quillon PDF417"), "the compressed PNG");
  if (!compressed.src.includes("compress=1") || compressed.png.length * 4 > uncompressed.length) {
    fail(`the compressed preview (${compressed.src}) takes ${compressed.png.length} bytes against ${uncompressed.length}`);
  }
  await page.click("#copy-cli");
  if (!(await page.inputValue("#share")).includes(" --compress ")) fail("the CLI command lacks --compress");
  await page.uncheck("#compress");
  await expectPreviewCarries(utf8("Quillon PDF417"), "the stored PNG again");

  // An error is shown beside the preview, and what belongs to earlier settings is marked; the
  // copied URL is still that of the settings.
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
  await page.click("#copy-url");
  const failing = await fetch(await page.inputValue("#share"));
  if (failing.status !== 422) fail(`while an error shows, the copied URL answers ${failing.status}, not the error`);
  const errorBox = await page.locator("#error").boundingBox();
  const previewBox = await page.locator("#preview-box").boundingBox();
  if (!errorBox || errorBox.y > previewBox.y + previewBox.height + 40) fail("the error is not beside the preview");
  await page.fill("#ErrorCorrectionLevel", "2");
  await page.fill("#Data", "Quillon PDF417");
  await expectPreviewCarries(utf8("Quillon PDF417"), "the start after an error");
  if ((await page.textContent("#error")).trim() !== "") fail("the error stays after it is mended");
  await page.screenshot({ path: screenshotPath, fullPage: true });
  if (asked.includes("/favicon.ico")) fail("the page asks for /favicon.ico");

  // On a phone the preview comes before the form.
  await page.setViewportSize({ width: 390, height: 844 });
  const result = await page.locator("#result").boundingBox();
  const form = await page.locator("#settings").boundingBox();
  if (!(result.y < form.y)) fail(`on a phone the preview (y ${result.y}) is below the form (y ${form.y})`);

  console.log(`demo page: ${first.natural} -> ${grown.natural}, ${grown.rows} rows; ` +
              `screenshot ${screenshotPath}`);
} catch (error) {
  fail(error.stack ?? String(error));
} finally {
  if (browser) await browser.close();
  host.kill("SIGTERM");
  rmSync(scratch, { recursive: true, force: true });
}
if (process.exitCode) process.exit(process.exitCode);
