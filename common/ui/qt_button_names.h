#pragma once
// Some buttons come with Qt's own widgets rather than from this program: the
// buttons of a menu bar and of each toolbar for what a narrow window has no room
// for, the corner button of a table that selects every cell, and a line edit's
// clear button. They have no name, so a screen reader would announce them as
// unnamed buttons.

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QToolButton>
#include <QWidget>

namespace ov::desktop {

// Names those buttons inside `window`; call once its widgets are built.
inline void nameQtButtons(QWidget* window) {
    const auto tr = [](const char* text) { return QCoreApplication::translate("ov::desktop", text); };
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
        if (!b->accessibleName().isEmpty()) continue;
        const QString name = b->objectName();
        const char* kind = b->metaObject()->className();
        if (name == QLatin1String("qt_menubar_ext_button")) {
            b->setAccessibleName(tr("More menus"));
        } else if (name == QLatin1String("qt_toolbar_ext_button")) {
            b->setAccessibleName(tr("More tools"));
        } else if (qstrcmp(kind, "QTableCornerButton") == 0) {
            b->setAccessibleName(tr("Select all"));
        } else if (qstrcmp(kind, "QLineEditIconButton") == 0) {
            auto* tool = static_cast<QToolButton*>(b);
            const QAction* action = tool->defaultAction();
            if (action && !action->text().isEmpty())
                b->setAccessibleName(action->text());
            else if (action && action->objectName() == QLatin1String("_q_qlineeditclearaction"))
                b->setAccessibleName(tr("Clear"));
        }
    }
}

}  // namespace ov::desktop
