#pragma once
// The "Mis datos" section of the home window. The user pastes free text on the left; a quarter
// of a second after the last change the text is parsed into facts, which the right card lists for
// review, grouped by whose they are, above the handwritten signature and the facts already saved.
// The checked facts are saved in the secret store; a saved fact can be removed from its row.
// Main thread only.

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/SectionPane.h"
#include "profile/ProfileStore.h"
#include "profile/SavedFact.h"
#include "profile/TextRange.h"
#include "signing/Certificate.h"

class AlertPresenter;
class FactRow;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QVBoxLayout;
class QWidget;
class SecretStore;

class ProfilePane : public QObject, public SectionPane {
    Q_OBJECT
public:
    // A fact found in the pasted text: the candidate saved fact, where its source lies in the text
    // at the time of the analysis (UTF-16 offsets of the plain text, which are text cursor
    // positions) and the state of its check box.
    struct Found {
        SavedFact fact;
        TextRange range;
        bool keep = true;
    };

    // Facts of one owner and one subject, in the order of the sorted input.
    struct Group {
        std::string owner;
        std::optional<std::string> subject;
        std::vector<SavedFact> facts;
    };

    // Opens the handwriting sheet on a window (null: a free window); false when it was refused.
    using SheetPresenter = std::function<bool(QWidget* window, std::function<void(bool saved)> completion)>;

    // Layout numbers.
    static constexpr int margin = 36;           // around the cards, beside the title
    static constexpr int cardGap = 18;          // between the two cards
    static constexpr int minimumCardWidth = 300;  // where the pane has room for two
    // Narrower than two cards of the minimum, as in the home window at its smallest, the cards
    // share the width equally, down to this.
    static constexpr int compactCardWidth = 260;
    static constexpr double leftShare = 0.42;   // of the pane's width, for the left card
    static constexpr int minimumWidth = 2 * margin + cardGap + 2 * compactCardWidth;  // 610
    // The pause after the last change before the text is parsed.
    static constexpr int debounceMilliseconds = 250;

    // `secrets` holds the saved facts and the handwritten signature (the application's Secret
    // Service store by default); `alerts` shows the store's refusals.
    explicit ProfilePane(std::vector<Certificate> certificates = Certificate::signingCertificates(),
                         SecretStore& secrets = standardSecrets(), AlertPresenter& alerts = standardAlerts());
    ~ProfilePane() override;
    ProfilePane(const ProfilePane&) = delete;
    ProfilePane& operator=(const ProfilePane&) = delete;

    // SectionPane: the root widget, and the refresh each time the section is shown (the paste area
    // then takes the focus).
    QWidget* view() override;
    void activate() override;

    // Replaces the text and analyses it at once.
    void paste(const QString& text);
    // The footer's buttons.
    void save();
    void discard();
    // The handwriting row's buttons.
    void changeHandwriting();
    void removeHandwriting();

    // Replaces the way the handwriting sheet is opened (tests).
    void setSheetPresenter(SheetPresenter presenter) { presentSheet_ = std::move(presenter); }

    // Views and state, for the home window's tests and this pane's own.
    QPlainTextEdit* textView() const { return textView_; }
    QLabel* placeholder() const { return placeholder_; }
    QWidget* list() const { return list_; }
    QVBoxLayout* listLayout() const { return listLayout_; }
    QPushButton* saveButton() const { return saveButton_; }
    QPushButton* discardButton() const { return discardButton_; }
    QWidget* footer() const { return footer_; }
    QWidget* leftCard() const { return leftCard_; }
    QWidget* rightCard() const { return rightCard_; }
    const std::vector<Found>& found() const { return found_; }

    // Grouping and ordering: groups by owner rank, then by first appearance of owner and subject;
    // the facts a group lists, postcodes and towns an address already shows left out, by kind rank;
    // the title and note of a group's heading.
    static std::vector<Group> groups(const std::vector<SavedFact>& facts);
    static std::vector<SavedFact> visible(const std::vector<SavedFact>& facts);
    static std::pair<QString, std::optional<QString>> groupTexts(const Group& group,
                                                                 const std::vector<Certificate>& certificates);
    // The widths of the left and right cards for a pane of that width.
    static std::pair<int, int> cardWidths(int paneWidth);
    // The store's own sentence for a saved list it cannot read; empty for stored and absent.
    static QString unreadableMessage(ProfileStore::Loaded::Status status);

    static SecretStore& standardSecrets();
    static AlertPresenter& standardAlerts();

signals:
    // After every analysis of the text (tests count them).
    void analysed();

private:
    void build();
    // The colours that depend on the appearance; again when it changes.
    void applyColors();
    void reload();
    void refreshFooter();
    // For each entry of found_, the kept entry that saving stores in its slot instead: the last
    // kept entry of the slot, when that is another one (one value per slot is kept).
    std::vector<std::optional<std::size_t>> replacements() const;
    // Says on each found row whether another row replaces it.
    void markReplaced();
    void analyse();
    void textChanged();
    void highlight(bool on, TextRange range);
    void removeSaved(const SavedFact& fact);
    void showRefusal(const std::exception& error);
    void setText(const QString& text);

    QWidget* heading(const QString& title, const std::optional<QString>& subtitle);
    QWidget* groupTitle(const Group& group);
    QWidget* handwritingRow();
    QWidget* emptyText();
    QWidget* message(const QString& text);
    void addItem(QWidget* item);

    std::vector<Certificate> certificates_;
    SecretStore& secrets_;
    AlertPresenter& alerts_;
    SheetPresenter presentSheet_;

    QPointer<QWidget> view_;
    QPlainTextEdit* textView_ = nullptr;
    QLabel* placeholder_ = nullptr;
    QLabel* subtitle_ = nullptr;
    QLabel* hint_ = nullptr;
    QWidget* list_ = nullptr;
    QVBoxLayout* listLayout_ = nullptr;
    QWidget* listDocument_ = nullptr;  // the scroll view's document around `list_`
    QPushButton* saveButton_ = nullptr;
    QPushButton* discardButton_ = nullptr;
    QWidget* footer_ = nullptr;
    QWidget* leftCard_ = nullptr;
    QWidget* rightCard_ = nullptr;
    QTimer* pending_ = nullptr;

    std::vector<Found> found_;
    // The rows of the found facts, each with the index of its entry.
    std::vector<std::pair<std::size_t, QPointer<FactRow>>> foundRows_;
    bool settingText_ = false;  // the text is being set by the program, not typed
};
