// variant_conformance: the conformance table of VariantChangeType against the oleaut32 this
// runs on (Wine's, under the tests), where the Linux tests hold our stand-in to it. A row
// whose difference from Wine we keep expects Wine's own result here.
#include <cstdio>

#include "tests/conformance/VariantConformance.h"
#include "tests/windows/Checks.h"

int main() {
    using namespace conformance;
    Checks checks;
    int kept = 0;
    for (const Row& row : VariantChangeTypeRows()) {
        const std::string wrong = CheckRow(row, Oleaut::kWine);
        checks.Expect(wrong.empty(), DescribeRow(row) + ": " + wrong);
        if (row.difference.kept) {
            ++kept;
            std::printf("kept difference: %s (%s)\n", DescribeRow(row).c_str(), row.difference.why);
        }
    }
    std::printf("%d rows where our stand-in keeps its own result\n", kept);
    return checks.Finish();
}
