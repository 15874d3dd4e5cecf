// Loads the demo page of a running quillon-serve in headless Chromium, changes the data,
// and checks that the preview reloads with a picture whose natural size is the measured size.
//
//   node demo_page.mjs QUILLON_SERVE SCREENSHOT.png
import { spawn } from "node:child_process";
import { chromium } from "playwright-core";

const [serveBinary, screenshotPath] = process.argv.slice(2);
if (!serveBinary || !screenshotPath) {
  console.error("usage: node demo_page.mjs QUILLON_SERVE SCREENSHOT.png");
  process.exit(2);
}

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

const { host, url } = await startHost();
let browser = null;
try {
  // Playwright gives every launch a fresh, empty profile of its own.
  browser = await chromium.launch({
    executablePath: "/usr/bin/chromium",
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
           "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  });
  const page = await browser.newPage();
  await page.goto(url);

  // Waits until the preview shows the picture of the current settings and returns the
  // measured size next to the picture's natural size.
  async function settled(expectedData) {
    await page.waitForFunction((data) => {
      const img = document.getElementById("preview");
      return img.complete && img.naturalWidth > 0 &&
             new URL(img.src).searchParams.get("Data") === data &&
             document.getElementById("natural").textContent ===
               img.naturalWidth + " × " + img.naturalHeight;
    }, expectedData, { timeout: 15000 });
    return page.evaluate(() => {
      const img = document.getElementById("preview");
      return { measured: document.getElementById("size").textContent,
               natural: img.naturalWidth + " × " + img.naturalHeight,
               rows: document.getElementById("rows").textContent,
               src: img.src };
    });
  }

  // The form's hints, limits and help come from the component's property table.
  const wiring = await page.evaluate(() => PROPERTIES.flatMap((p) => {
    const control = document.getElementById(p.name);
    if (!control) return [];
    const problems = [];
    if (control.title !== p.help) problems.push(`${p.name}: help ${control.title}`);
    const hint = control.closest("label")?.querySelector("small");
    if (hint && control.type !== "checkbox" && hint.textContent !== p.accepted) {
      problems.push(`${p.name}: hint ${hint.textContent}`);
    }
    if (control.type === "number" && p.low !== undefined &&
        (control.min !== String(p.low) || control.max !== String(p.high))) {
      problems.push(`${p.name}: range ${control.min}..${control.max}`);
    }
    return problems;
  }));
  if ((await page.evaluate(() => PROPERTIES.length)) !== 15) fail("the page lacks the property table");
  for (const problem of wiring) fail("form does not follow the property table: " + problem);

  const first = await settled("Quillon PDF417");
  const text = "Ελληνικά, 中文 and a much longer line of data to raise the row count";
  await page.fill("#Data", text);
  const second = await settled(text);

  if (first.src === second.src) fail("the preview did not reload after the data changed");
  if (second.measured !== second.natural) {
    fail(`natural size ${second.natural} is not the measured size ${second.measured}`);
  }
  if (Number(second.rows) <= Number(first.rows)) fail("longer data did not give more rows");
  if ((await page.textContent("#error")).trim() !== "") fail("the page shows an error");
  await page.screenshot({ path: screenshotPath, fullPage: true });
  console.log(`demo page: ${first.measured} -> ${second.measured}, ${second.rows} rows; ` +
              `screenshot ${screenshotPath}`);
} catch (error) {
  fail(error.message);
} finally {
  if (browser) await browser.close();
  host.kill("SIGTERM");
}
if (process.exitCode) process.exit(process.exitCode);
