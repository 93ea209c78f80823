#pragma once
// A titled group of the settings screens: the title (17, semibold) with an optional tag, an
// optional caption 4 below, a card of rows (hairline separators between them) 12 below, and an
// optional footer 8 below the card at its natural width.

#include <QWidget>

#include <optional>
#include <vector>

class CardView;
class QLabel;
class TagLabel;

class SettingsGroup : public QWidget {
    Q_OBJECT
public:
    SettingsGroup(const QString& title, const std::optional<QString>& tag,
                  const std::optional<QString>& caption, const std::vector<QWidget*>& rows,
                  QWidget* footer = nullptr, QWidget* parent = nullptr);

    QLabel* titleLabel() const { return title_; }
    TagLabel* tag() const { return tag_; }
    QLabel* caption() const { return caption_; }
    CardView* card() const { return card_; }
    QWidget* footer() const { return footer_; }

private:
    QLabel* title_ = nullptr;
    TagLabel* tag_ = nullptr;
    QLabel* caption_ = nullptr;
    CardView* card_ = nullptr;
    QWidget* footer_ = nullptr;
};
