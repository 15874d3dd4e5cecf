// Prints, for each kind of data in the corpus, the data codewords and rows of OptimizeCompaction
// and of zint at the same columns and level, over the strings both fit; then the totals. With
// --each, first a line for every string where the two differ. With --micro, the totals for
// MicroPDF417 against zint and bwip-js.
#include <cstdio>
#include <map>
#include <string>

#include "tests/encoder/peer/ZintComparison.h"

namespace {

// MicroPDF417: the data codewords of ours, zint's and bwip-js's over the strings all three fit
// at the same columns.
int MicroTotals() {
    struct Totals {
        int strings = 0, ours = 0, zint = 0, bwipjs = 0, fewer = 0, more = 0;
    };
    std::map<std::string, Totals> byKind;
    Totals all;
    int notAll = 0, zintMore = 0;
    for (const MicroComparedString& c : CompareMicroWithPeers(true)) {
        if (c.zint.fits && (!c.ours.fits || c.ours.dataCodewords > c.zint.dataCodewords)) {
            ++zintMore;
        }
        if (!c.ours.fits || !c.zint.fits || !c.bwipjs.fits) {
            ++notAll;
            continue;
        }
        for (Totals* t : {&byKind[c.kind], &all}) {
            ++t->strings;
            t->ours += c.ours.dataCodewords;
            t->zint += c.zint.dataCodewords;
            t->bwipjs += c.bwipjs.dataCodewords;
            t->fewer += c.ours.dataCodewords < c.zint.dataCodewords ? 1 : 0;
            t->more += c.ours.dataCodewords > c.zint.dataCodewords ? 1 : 0;
        }
    }
    std::printf("MicroPDF417, OptimizeCompaction, columns forced alike\n");
    std::printf("%-18s %7s %8s %8s %8s %7s %6s\n", "data", "strings", "cw ours", "cw zint",
                "cw bwip", "fewer", "more");
    auto line = [](const std::string& name, const Totals& t) {
        std::printf("%-18s %7d %8d %8d %8d %7d %6d\n", name.c_str(), t.strings, t.ours, t.zint,
                    t.bwipjs, t.fewer, t.more);
    };
    for (const auto& [kind, t] : byKind) line(kind, t);
    line("all", all);
    std::printf(
        "(codewords: all but the error correction and the pad codewords; 'fewer'/'more': "
        "strings where ours takes fewer/more than zint)\n");
    std::printf("not fitted by all three: %d; more than zint or not fitted where zint fits: %d\n",
                notAll, zintMore);
    return zintMore == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--micro") {
        return MicroTotals();
    }
    const bool each = argc > 1 && std::string(argv[1]) == "--each";
    struct Totals {
        int strings = 0, oursCodewords = 0, zintCodewords = 0, oursRows = 0, zintRows = 0;
        int fewer = 0, more = 0;
    };
    std::map<std::string, Totals> byKind;
    Totals all;
    int neither = 0, oursOnly = 0, zintOnly = 0;
    for (const ComparedString& c : CompareWithZint()) {
        if (!c.ours.fits || !c.zint.fits) {
            (c.ours.fits ? oursOnly : c.zint.fits ? zintOnly : neither) += 1;
            continue;
        }
        if (each && c.ours.dataCodewords != c.zint.dataCodewords) {
            std::printf(
                "%-18s %5d bytes, %2d columns, level %d: %4d codewords, %2d rows; zint %4d, "
                "%2d\n",
                c.kind.c_str(), c.length, c.columns, c.eccLevel, c.ours.dataCodewords, c.ours.rows,
                c.zint.dataCodewords, c.zint.rows);
        }
        for (Totals* t : {&byKind[c.kind], &all}) {
            ++t->strings;
            t->oursCodewords += c.ours.dataCodewords;
            t->zintCodewords += c.zint.dataCodewords;
            t->oursRows += c.ours.rows;
            t->zintRows += c.zint.rows;
            t->fewer += c.ours.dataCodewords < c.zint.dataCodewords ? 1 : 0;
            t->more += c.ours.dataCodewords > c.zint.dataCodewords ? 1 : 0;
        }
    }
    std::printf("%-18s %7s %10s %10s %8s %8s %7s %6s\n", "data", "strings", "cw ours", "cw zint",
                "rows us", "rows zt", "fewer", "more");
    auto line = [](const std::string& name, const Totals& t) {
        std::printf("%-18s %7d %10d %10d %8d %8d %7d %6d\n", name.c_str(), t.strings,
                    t.oursCodewords, t.zintCodewords, t.oursRows, t.zintRows, t.fewer, t.more);
    };
    for (const auto& [kind, t] : byKind) line(kind, t);
    line("all", all);
    std::printf(
        "(codewords: the length descriptor's count without padding; 'fewer'/'more': "
        "strings where ours takes fewer/more codewords)\n");
    std::printf("fit only ours: %d, only zint's: %d, neither: %d\n", oursOnly, zintOnly, neither);
    return zintOnly == 0 && all.more == 0 ? 0 : 1;
}
