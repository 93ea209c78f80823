#pragma once
// The sheet where the user draws the handwritten signature, or takes it from a photo, and saves
// it in the secret store. One sheet at a time in the process. Main thread only.

#include <QObject>

#include <filesystem>
#include <functional>

#include "document/DocumentContext.h"

class HandwritingPadView;
class QDialog;
class QLabel;
class QPushButton;

class HandwritingSheet : public QObject {
    Q_OBJECT
public:
    // The content's size; it grows taller only while the note needs the room.
    static constexpr int contentWidth = 520;
    static constexpr int contentHeight = 330;
    static constexpr int padWidth = 476;
    static constexpr int padHeight = 170;

    inline static const QString noSignatureNote = QStringLiteral(
        "No se distingue una firma en esa imagen. Prueba con una foto de cerca, con buena luz y el papel en blanco.");

    // Opens the sheet: window-modal on `on`, or a free window centred on the screen when `on` is
    // null. `completion` runs exactly once: true after the signature was stored, false after
    // "Cancelar", Escape or a close by the window manager. False, with the completion never run,
    // when a handwriting sheet is open already.
    static bool present(QWidget* on, std::function<void(bool saved)> completion,
                        DocumentContext& context = DocumentContext::standard());

    // The sheet open now, or null.
    static HandwritingSheet* shown();

    QDialog* window() const { return window_; }
    HandwritingPadView* pad() const { return pad_; }
    QPushButton* imageButton() const { return imageButton_; }
    QPushButton* clearButton() const { return clearButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QPushButton* saveButton() const { return saveButton_; }
    QLabel* note() const { return note_; }

    // "Desde una imagen…": an open panel for a photo of the signature.
    void chooseImage();
    // Takes the signature from the photo at `path`, or shows the note when it has none.
    void takeImage(const std::filesystem::path& path);
    // "Borrar".
    void clear();
    // "Cancelar" (and Escape, and the window manager's close).
    void cancel();
    // "Guardar": stores the pad's PNG and closes; a store failure keeps the sheet open with its
    // sentence in the note.
    void save();

    ~HandwritingSheet() override;

private:
    HandwritingSheet(QWidget* on, std::function<void(bool)> completion, const DocumentContext& context);
    void build();
    void update();
    void showNote(const QString& text);
    void hideNote();
    void fitHeight();
    void close(bool saved);

    DocumentContext context_;
    QDialog* window_ = nullptr;  // owns this controller
    HandwritingPadView* pad_ = nullptr;
    QPushButton* imageButton_ = nullptr;
    QPushButton* clearButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QLabel* note_ = nullptr;
    std::function<void(bool)> completion_;
};
