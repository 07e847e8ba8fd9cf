#pragma once
// What a drag from outside the program carries, read the same way by both
// programs' windows and lists.

#include <QString>
#include <QStringList>

class QMimeData;

namespace ov::desktop {

// The local files of a drop, when every item it carries is an existing file;
// empty otherwise (a folder, a web address, text).
QStringList droppedFiles(const QMimeData* data);

// The one local file of a drop that carries exactly one; empty otherwise.
QString droppedFile(const QMimeData* data);

}  // namespace ov::desktop
