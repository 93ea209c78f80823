#include "app/DropTargetView.h"

#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QPointer>
#include <QUrl>

#include "ui/RunLoop.h"

DropTargetView::DropTargetView(QWidget* parent) : QWidget(parent) { setAcceptDrops(true); }

std::vector<std::filesystem::path> DropTargetView::pdfs(const QMimeData* data) {
    std::vector<std::filesystem::path> files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) continue;
        const QString path = url.toLocalFile();
        if (QFileInfo(path).suffix().toLower() == QLatin1String("pdf")) {
            files.emplace_back(path.toStdString());
        }
    }
    return files;
}

void DropTargetView::dragChanged(bool carriesPDFs) {
    if (onDragChange) onDragChange(carriesPDFs);
}

void DropTargetView::dragEnterEvent(QDragEnterEvent* event) {
    const bool carries = !pdfs(event->mimeData()).empty();
    dragChanged(carries);
    if (carries) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void DropTargetView::dragLeaveEvent(QDragLeaveEvent* event) {
    dragChanged(false);
    event->accept();
}

void DropTargetView::dropEvent(QDropEvent* event) {
    dragChanged(false);
    auto files = pdfs(event->mimeData());
    if (files.empty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    QPointer<DropTargetView> self(this);
    onMainRunLoop(0, [self, files = std::move(files)] {
        if (self && self->onDrop) self->onDrop(files);
    });
}
