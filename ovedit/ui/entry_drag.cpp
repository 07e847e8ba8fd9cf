#include "ovedit/ui/entry_drag.h"

#include <QFileInfo>
#include <QUrl>

#include "ovedit/ui/ui_text.h"

namespace ov::edit {

namespace {

const QString kUriList = QStringLiteral("text/uri-list");

// Passes on everything but the completion message.
class FailuresOnly final : public Reporter {
public:
    explicit FailuresOnly(Reporter& to) : to_(to) {}
    void message(std::string_view title, std::string_view text, Icon icon) override {
        if (icon != Icon::Information) to_.message(title, text, icon);
    }
    Answer question(std::string_view title, std::string_view text, Buttons buttons,
                    Icon icon) override {
        return to_.question(title, text, buttons, icon);
    }

private:
    Reporter& to_;
};

}  // namespace

EntryDragData::EntryDragData(std::shared_ptr<const archive::HogArchive> archive,
                             std::vector<size_t> rows, QString folder, Reporter& reporter)
    : archive_(std::move(archive)),
      rows_(std::move(rows)),
      folder_(std::move(folder)),
      reporter_(reporter) {}

QStringList EntryDragData::formats() const {
    return {kUriList};
}

bool EntryDragData::hasFormat(const QString& mimeType) const {
    return mimeType == kUriList;
}

void EntryDragData::extractOnce() const {
    if (extracted_) return;
    extracted_ = true;
    FailuresOnly reporter(reporter_);
    const std::string dest = toPathText(folder_);
    archive::extract(*archive_, rows_, dest, archive::ExtractMode::UnpackIfPacked, {}, reporter);
    for (size_t row : rows_) {
        if (row >= archive_->entries().size()) continue;
        auto target = archive::targetPath(dest, archive_->entries()[row].name);
        if (!target) continue;
        const QString file = fromPath(target->string());
        if (QFileInfo(file).isFile() && !urls_.contains(QUrl::fromLocalFile(file)))
            urls_.append(QUrl::fromLocalFile(file));
    }
}

QVariant EntryDragData::retrieveData(const QString& mimeType, QMetaType type) const {
    if (mimeType != kUriList) return {};
    extractOnce();
    if (type.id() == QMetaType::QByteArray || type.id() == QMetaType::QString) {
        QByteArray list;
        for (const QUrl& u : urls_)
            list += u.toEncoded() + "\r\n";
        if (type.id() == QMetaType::QString) return QString::fromUtf8(list);
        return list;
    }
    QVariantList out;
    for (const QUrl& u : urls_)
        out.append(u);
    return out;
}

}  // namespace ov::edit
