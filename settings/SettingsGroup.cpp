#include "settings/SettingsGroup.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/Brand.h"
#include "ui/CardView.h"
#include "settings/SettingsRow.h"
#include "settings/TagLabel.h"
#include "settings/ToneLabel.h"

SettingsGroup::SettingsGroup(const QString& title, const std::optional<QString>& tag,
                             const std::optional<QString>& caption,
                             const std::vector<QWidget*>& rows, QWidget* footer, QWidget* parent)
    : QWidget(parent), footer_(footer) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    title_ = new QLabel(title);
    title_->setTextFormat(Qt::PlainText);
    title_->setFont(Brand::titleFont(17, QFont::DemiBold));
    header->addWidget(title_, 0, Qt::AlignVCenter);
    if (tag) {
        tag_ = new TagLabel(*tag);
        header->addWidget(tag_, 0, Qt::AlignVCenter);
    }
    header->addStretch(1);
    layout->addLayout(header);

    if (caption) {
        caption_ = new ToneLabel(*caption, ToneLabel::Tone::secondary);
        caption_->setFont(Brand::systemFont(13));
        caption_->setWordWrap(true);
        layout->addSpacing(4);
        layout->addWidget(caption_);
    }

    card_ = new CardView;
    auto* stack = new QVBoxLayout(card_);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i > 0) stack->addWidget(SettingsRow::separator());
        stack->addWidget(rows[i]);
    }
    layout->addSpacing(12);
    layout->addWidget(card_);

    if (footer_) {
        layout->addSpacing(8);
        layout->addWidget(footer_, 0, Qt::AlignLeft);
    }
}
