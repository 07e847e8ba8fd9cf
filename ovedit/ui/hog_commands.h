#pragma once
// The hog tab's command panels: extraction of the selected entries, the FAT's
// backup and restore, and the entry changes waiting to be applied. Each shows
// which of its commands can run and says what was asked through its signals.

#include <QGroupBox>
#include <QString>
#include <QWidget>
#include <cstddef>

#include "ovedit/archive/hog.h"

class QLineEdit;
class QPushButton;

namespace ov::desktop {
class ValueLabel;
}

namespace ov::edit {

class HogExtractBox : public QGroupBox {
    Q_OBJECT

public:
    explicit HogExtractBox(QWidget* parent = nullptr);
    QString destination() const;
    void setDestination(const QString& folder);
    void setCommands(bool archiveOpen, bool idle);

signals:
    void extractRequested(archive::ExtractMode mode);
    void browseRequested();

private:
    QLineEdit* txtHogDest_ = nullptr;
    QPushButton* cmdBrowseHogDest_ = nullptr;
    QPushButton* cmdExtract_ = nullptr;
    QPushButton* cmdUnpackExtract_ = nullptr;
};

class HogFatBox : public QGroupBox {
    Q_OBJECT

public:
    explicit HogFatBox(QWidget* parent = nullptr);
    void setCommands(bool backup, bool restore);

signals:
    void backupRequested();
    void restoreRequested();

private:
    QPushButton* cmdBackupFAT_ = nullptr;
    QPushButton* cmdRestoreFAT_ = nullptr;
};

// "No changes pending", "3 changes pending", with Undo Change, Discard and Apply.
class HogChangesBar : public QWidget {
    Q_OBJECT

public:
    explicit HogChangesBar(QWidget* parent = nullptr);
    void showPending(size_t steps, bool commandsAllowed);

signals:
    void undoRequested();
    void discardRequested();
    void applyRequested();

private:
    desktop::ValueLabel* lblHogChanges_ = nullptr;
    QPushButton* cmdUndoHogChange_ = nullptr;
    QPushButton* cmdDiscardHogChanges_ = nullptr;
    QPushButton* cmdApplyHogChanges_ = nullptr;
};

}  // namespace ov::edit
