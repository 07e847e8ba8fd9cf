#pragma once
// Starting OVTool, the model component editor, on a model file: a process of its
// own that OVEdit does not wait for and that is never left behind as a defunct
// child once it ends.

#include <QString>
#include <QStringList>

#include "common/report.h"

namespace ov::edit {

// Where OVTool is looked for, best first: beside the running program (`programDir`),
// the build tree's ovtool/ui/, the folder the toolkit installs its programs into,
// then every folder of PATH.
QStringList toolProgramCandidates(const QString& programDir);
// The first candidate (of the running program's, unless given) that is an
// executable file; empty when there is none.
QString findToolProgram();
QString findToolProgram(const QStringList& candidates);
// The same, saying with every place looked in when there is none (title "OV Edit").
QString findToolProgram(const QStringList& candidates, Reporter& reporter);

// Whether `program` is there to start; when it is empty or missing, says so with
// the places looked in (title "OV Edit") and returns false.
bool checkToolProgram(const QString& program, Reporter& reporter);

// Starts `program` (when empty, the one findToolProgram finds) on `file`, detached.
// When it is missing or cannot be started, says so (title "OV Edit") and returns
// false.
bool startToolOn(const QString& program, const QString& file, Reporter& reporter);

}  // namespace ov::edit
