#pragma once
// The AI call log page: every request sent to OpenRouter, newest first, in a table (date, form,
// model, fields, tokens, cost, time) under the summary line; a detail sheet per call with what
// was sent and received; the log file shown in the file manager. The options pane shows the
// page's view in place of its own and learns of the back button through onBack. The page shows
// the log as it was at the last reload().

#include <QObject>
#include <QPointer>

#include <functional>

#include "settings/SettingsContext.h"

class AICallSheet;
class AILogTableModel;
class QAbstractButton;
class QLabel;
class QPushButton;
class QTableView;
class QWidget;

class AILogPage : public QObject {
    Q_OBJECT
public:
    explicit AILogPage(QObject* parent = nullptr,
                       SettingsContext& context = SettingsContext::standard());
    ~AILogPage() override;

    // The page, placed by the owner (deleted with the page unless the owner deleted it first).
    QWidget* view() const { return view_; }
    // Called by the back button.
    std::function<void()> onBack;

    // Reads the log again: rows, summary, empty note; no selection, detail button disabled;
    // the columns are fitted on the next pass of the event loop.
    void reload();

    // Opens the detail sheet of `row` (the clicked row; negative: the selected one).
    void showDetail(int row = -1);
    // The log file selected in the file manager, or its folder when there is no file yet.
    void revealFile();
    void goBack();
    // Gives "Formulario" and "Modelo" the width the other columns leave.
    void fitColumns();

    QLabel* summary() const { return summary_; }
    QLabel* empty() const { return empty_; }
    QTableView* table() const { return table_; }
    AILogTableModel* model() const { return model_; }
    QAbstractButton* backButton() const { return back_; }
    QPushButton* revealButton() const { return reveal_; }
    QPushButton* detailButton() const { return detail_; }
    AICallSheet* sheet() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void selectionChanged();

    SettingsContext& context_;
    QPointer<QWidget> view_;
    QLabel* summary_ = nullptr;
    QLabel* empty_ = nullptr;
    QTableView* table_ = nullptr;
    QObject* viewport_ = nullptr;
    AILogTableModel* model_ = nullptr;
    QAbstractButton* back_ = nullptr;
    QPushButton* reveal_ = nullptr;
    QPushButton* detail_ = nullptr;
    QPointer<AICallSheet> sheet_;
};
