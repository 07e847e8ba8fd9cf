#include "common/ui/drops.h"

#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace ov::desktop {

QStringList droppedFiles(const QMimeData* data) {
    if (!data || !data->hasUrls()) return {};
    QStringList files;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) return {};
        const QString path = url.toLocalFile();
        if (!QFileInfo(path).isFile()) return {};
        files << path;
    }
    return files;
}

QString droppedFile(const QMimeData* data) {
    const QStringList files = droppedFiles(data);
    return files.size() == 1 ? files.front() : QString();
}

}  // namespace ov::desktop
