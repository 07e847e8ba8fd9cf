#pragma once
// The top of the hog tab: the archive's path with Browse, Open and Close, and what
// the open archive's header says (its file, size and number of files).

#include <QGroupBox>
#include <QString>

#include "ovedit/archive/hog.h"

class QLineEdit;
class QPushButton;

namespace ov::desktop {
class ValueLabel;
}

namespace ov::edit {

class HogArchiveBar : public QGroupBox {
    Q_OBJECT

public:
    explicit HogArchiveBar(QWidget* parent = nullptr);

    QString path() const;
    void setPath(const QString& path);
    // What the header of `archive` says; null clears it.
    void showArchive(const archive::HogArchive* archive);
    // The number of files alone (an extraction may have read the count again).
    void showCount(uint32_t itemCount);
    void setCommands(bool archiveOpen, bool idle);

signals:
    // Open, or Enter in the path box.
    void openRequested();
    void browseRequested();
    void closeRequested();

private:
    QLineEdit* txtHogPath_ = nullptr;
    QPushButton* cmdBrowseHog_ = nullptr;
    QPushButton* cmdOpen_ = nullptr;
    QPushButton* cmdCloseHog_ = nullptr;
    desktop::ValueLabel* lblHogPath_ = nullptr;
    desktop::ValueLabel* lblHogSize_ = nullptr;
    desktop::ValueLabel* lblHogCount_ = nullptr;
};

}  // namespace ov::edit
