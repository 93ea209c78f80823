#pragma once
// Open panels. Windows choose files through this interface; tests replace it. The real one is
// Qt's own file dialog: a native one cannot be closed from the program when files arrive.

#include <QString>
#include <QStringList>

#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

class QFileDialog;
class QWidget;

class FilePanelPresenter {
public:
    struct Options {
        QString title;                  // window title
        QString acceptLabel;            // the accepting button, e.g. "Firmar"
        QStringList mimeTypes;          // e.g. {"application/pdf"}; empty: any file
        bool multiple = true;           // several files may be chosen
        std::optional<QString> folder;  // the folder shown first
        QString message;                // a line shown inside the panel, above the files
        // When set, a first filter of this name admits every type of `mimeTypes` at once; the
        // single types follow it.
        QString allTypesFilter;
    };
    // The chosen files, or nothing when the panel was cancelled or closed.
    using Completion = std::function<void(std::optional<std::vector<std::filesystem::path>>)>;

    virtual ~FilePanelPresenter() = default;

    // Shows the panel and returns at once: window-modal on `parent` when given, else a free
    // window. `done` runs once, on the main thread, when the panel ends.
    virtual void open(const Options& options, QWidget* parent, Completion done) = 0;
    // A panel of this presenter is on screen.
    virtual bool isOpen() const = 0;
    // Closes the open panel as its cancel button would (its completion gets nothing).
    virtual void cancel() = 0;

    // The real presenter (one panel at a time).
    static FilePanelPresenter& system();
    // The dialog `open` shows, not yet shown (for screenshots).
    static QFileDialog* makeDialog(const Options& options, QWidget* parent = nullptr);
};
