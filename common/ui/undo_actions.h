#pragma once

#include <QAction>
#include <QString>

namespace ov::desktop {

// A step's name as menu text: Qt's undo and redo actions put the name in as it is,
// so an "&" in it (an entry called R&D.txt) would be taken for a mnemonic and not
// shown. Doubled, it shows as itself.
inline QString menuText(const QString& prefix, const QString& stepName) {
    if (stepName.isEmpty()) return prefix;
    return prefix + ' ' + QString(stepName).replace('&', QStringLiteral("&&"));
}

// Makes `undo` and `redo`, made by source->createUndoAction and createRedoAction
// with the same prefixes, show the step's name as it is. Source is a QUndoStack or
// a QUndoGroup; the connections made here run after the actions' own.
template <class Source>
void showStepNamesAsTheyAre(Source* source, QAction* undo, const QString& undoPrefix,
                            QAction* redo, const QString& redoPrefix) {
    QObject::connect(source, &Source::undoTextChanged, undo,
                     [undo, undoPrefix](const QString& name) {
                         undo->setText(menuText(undoPrefix, name));
                     });
    QObject::connect(source, &Source::redoTextChanged, redo,
                     [redo, redoPrefix](const QString& name) {
                         redo->setText(menuText(redoPrefix, name));
                     });
}

}  // namespace ov::desktop
