#pragma once
// The home window's central widget and the drop target of the whole window: accepts local PDF
// files (extension "pdf" in any case) dropped on any part that does not take drops itself. The
// PDFs of a drop reach onDrop on the next pass of the event loop, after the drop has returned.

#include <QWidget>

#include <filesystem>
#include <functional>
#include <vector>

class QMimeData;

class DropTargetView : public QWidget {
    Q_OBJECT
public:
    explicit DropTargetView(QWidget* parent = nullptr);

    // Whether a drag carrying PDFs is over the window.
    std::function<void(bool)> onDragChange;
    // The PDFs of a completed drop.
    std::function<void(std::vector<std::filesystem::path>)> onDrop;

    // The local files of the data whose extension, lower-cased, is "pdf", in their order.
    static std::vector<std::filesystem::path> pdfs(const QMimeData* data);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void dragChanged(bool carriesPDFs);
};
