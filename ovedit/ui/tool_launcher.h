#pragma once
// Starting OVTool, the model component editor, on a model file: a process of its
// own that OVEdit does not wait for.

#include <QString>

#include "common/report.h"

namespace ov::edit {

// OVTool beside the running program.
QString defaultToolProgram();

// Whether `program` is there to start; when it is missing, says so (title "OV
// Edit") and returns false.
bool checkToolProgram(const QString& program, Reporter& reporter);

// Starts `program` on `file`, detached. When the program is missing or cannot be
// started, says so (title "OV Edit") and returns false.
bool startToolOn(const QString& program, const QString& file, Reporter& reporter);

}  // namespace ov::edit
