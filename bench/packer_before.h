#pragma once
// The packer levels Fast and Best as they were before the rework, for comparison
// in the benchmark only.

#include "common/bytes.h"

namespace before {

ov::Bytes packFast(ov::ByteSpan in);
ov::Bytes packBest(ov::ByteSpan in);

}  // namespace before
