#pragma once
// Dragging archive entries out of the list onto a file manager. The drag carries
// file URLs; the entries are extracted (unpacked when packed, as stored otherwise)
// into a folder of the program's own only when the drop target first asks for the
// URLs, so a drag that is abandoned writes nothing.

#include <QMimeData>
#include <QString>
#include <QUrl>
#include <memory>
#include <vector>

#include "common/report.h"
#include "ovedit/archive/hog.h"

namespace ov::edit {

class EntryDragData : public QMimeData {
    Q_OBJECT

public:
    // `folder` must exist; the entries' files go below it. Failures are reported
    // through `reporter` (a completion message is not: the drop is the completion).
    EntryDragData(std::shared_ptr<const archive::HogArchive> archive, std::vector<size_t> rows,
                  QString folder, Reporter& reporter);

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;
    // Whether the entries have been extracted (a target asked for the URLs).
    bool extracted() const { return extracted_; }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    void extractOnce() const;

    std::shared_ptr<const archive::HogArchive> archive_;
    std::vector<size_t> rows_;
    QString folder_;
    Reporter& reporter_;
    mutable bool extracted_ = false;
    mutable QList<QUrl> urls_;
};

}  // namespace ov::edit
