// bwip-js's MicroPDF417 module matrices for the tests and benchmarks, many symbols in one run.
// Each line of standard input: COLUMNS (0: bwip-js chooses) and the data's bytes in hexadecimal.
// Each line of output: the symbol's rows as 0 and 1 (1 a bar), separated by spaces, or
// "error: " and why bwip-js drew nothing.
"use strict";
const bwipjs = require("bwip-js");
const lines = require("fs").readFileSync(0, "latin1").split("\n").filter((line) => line !== "");
const out = lines.map((line) => {
    const [columns, hex] = line.split(" ");
    const options = { binarytext: true };
    if (Number(columns) > 0) options.columns = Number(columns);
    try {
        const symbol = bwipjs.raw("micropdf417", Buffer.from(hex || "", "hex").toString("latin1"),
                                  options)[0];
        const rows = [];
        for (let y = 0; y * symbol.pixx < symbol.pixs.length; ++y) {
            rows.push(symbol.pixs.slice(y * symbol.pixx, (y + 1) * symbol.pixx).join(""));
        }
        return rows.join(" ");
    } catch (e) {
        return "error: " + String(e).replace(/\s+/g, " ");
    }
});
process.stdout.write(out.join("\n") + "\n");
