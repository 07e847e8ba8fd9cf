#pragma once
// A small, self-made game folder in the layout the tools expect, for trying the
// toolkit and for the end-to-end test. Every byte is generated, and the same bytes
// are written on every run.

#include <filesystem>

#include "common/result.h"

namespace ovcli {

// Writes the sample game into `dir` (created when missing). A folder that already
// holds files is refused unless `force` is set, so a real game folder is never
// written over by mistake.
ov::Status writeSampleGame(const std::filesystem::path& dir, bool force);

}  // namespace ovcli
