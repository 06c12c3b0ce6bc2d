// The indents of the decoder tests' entries: notes behind 3 blanks,
// character dumps behind 5, a version list's table behind 2, and the
// continuation of a wrapping dump behind 7, which a decoder of the firmware
// report does not use: it differs from the others so that a dump that
// wrapped would show.
#pragma once

#include "output/text/indents.h"

namespace ovantrex::test {

inline constexpr Indents kDecoderIndents{.note = 3, .dump = 5, .wrap = 7, .table = 2};

}  // namespace ovantrex::test
