// The barcode component and the converter as a page script uses them, in JScript: created by
// ProgID, every property set, Mode and HandleTilde read back, the measuring methods called,
// the errors a script sees, and the converter's escapes for text in several writing systems.
// JScript passes no variable by reference, so the measured figures are VBScript's to check.
// Ends with its tally and WScript.Quit: 0 only when every check passed.
var passed = 0, failed = 0;

function check(ok, what) {
    if (ok) {
        passed++;
    } else {
        failed++;
        WScript.Echo("FAILED: " + what);
    }
}

// The error a statement throws, as JScript sees it; null when it throws none.
function errorOf(statement) {
    try {
        statement();
    } catch (e) {
        return e;
    }
    return null;
}

var q = new ActiveXObject("TarvexQuillon.Quillon");
check(q.Mode === 0, "Mode starts at 0");
check(q.HandleTilde === false, "HandleTilde starts false");

q.Data = "Quillon";
q.Mode = 2;
q.ErrorCorrectionLevel = 3;
q.Columns = 4;
q.Rows = 5;
q.TruncateSymbol = true;
q.Y2XRatio = 2.5;
q.Width = 400;
q.Height = 300;
q.NarrowBarWidth = 0.05;
q.BackColor = 0xFFFF;
q.BarColor = 128;
q.Orientation = 3;
q.BorderStyle = 1;
q.HandleTilde = true;
check(q.Mode === 2, "Mode reads back 2");
check(q.HandleTilde === true, "HandleTilde reads back true");
var rows, columns;
check(errorOf(function () { q.GetActualRC(rows, columns); }) === null, "GetActualRC can be called");
check(errorOf(function () { q.GetActualSize(rows, columns); }) === null,
      "GetActualSize can be called");

// Errors: the platform's conversions and the component's own, with its description. JScript
// hands a failed call's HRESULT to the script as it is.
function code(e) {
    return e === null ? "none" : (e.number >>> 0).toString(16);
}
var e = errorOf(function () { q.Width = 40000; });
check(e !== null && (e.number >>> 0) === 0x8002000A, "Width = 40000 overflows: " + code(e));
e = errorOf(function () { q.Width = "abc"; });
check(e !== null && (e.number >>> 0) === 0x80020005, "Width = 'abc' is a mismatch: " + code(e));
e = errorOf(function () { q.Colour = 1; });
check(e !== null && (e.number >>> 0) === 0x80020006, "an unknown property: " + code(e));
e = errorOf(function () { q.Data = new Array(5001).join("x"); });
check(e !== null && (e.number >>> 0) === 0x80070057 && e.description.indexOf("4999") >= 0,
      "5000 bytes of Data: " + code(e) + " " + (e && e.description));
q.Data = new Array(4001).join("\u00FF");
q.ErrorCorrectionLevel = 8;
e = errorOf(function () { var png = q.PNGImage; });
check(e !== null && (e.number >>> 0) === 0x80040200 && e.description.indexOf("does not fit") >= 0,
      "data that does not fit: " + code(e) + " " + (e && e.description));

var cv = new ActiveXObject("TarvexUnicode.Converter");
var cases = [
    ["", "", "the empty text"],
    ["A", "~d065", "ASCII"],
    ["\u00E9", "~d195~d169", "Latin"],
    ["\u03A9", "~d206~d169", "Greek"],
    ["\u0416", "~d208~d150", "Cyrillic"],
    ["\u05D0", "~d215~d144", "Hebrew"],
    ["\u0639", "~d216~d185", "Arabic"],
    ["\u0915", "~d224~d164~d149", "Devanagari"],
    ["\u65E5\u672C", "~d230~d151~d165~d230~d156~d172", "Japanese"],
    ["\uD83D\uDE00", "~d240~d159~d152~d128", "an emoji"]
];
for (var i = 0; i < cases.length; i++) {
    var got = cv.GetUTF8String(cases[i][0]);
    check(got === cases[i][1], cases[i][2] + ": " + got);
}

WScript.Echo(passed + " passed, " + failed + " failed");
WScript.Quit(failed);
