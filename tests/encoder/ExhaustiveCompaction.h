// The fewest data codewords any PDF417 writing of the data takes, by an exhaustive search over
// explicit states, written apart from the encoder's compaction choice to check it: the state
// records the whole length of the current byte or numeric run and costs the run when it ends,
// and text is costed value by value with the latch lengths of the text tables.
#pragma once

#include "tests/encoder/EncoderTestSupport.h"

namespace encoder_test {

int FewestCodewordsByExhaustiveSearch(const Bytes& data);
// The same for MicroPDF417, whose symbol starts in byte compaction and whose data starts with
// a latch whatever it starts with (non-empty data).
int FewestMicroCodewordsByExhaustiveSearch(const Bytes& data);

}  // namespace encoder_test
