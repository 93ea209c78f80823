#include "document/formfill/FieldEditor.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/Brand.h"
#include "document/formfill/FieldCaption.h"
#include "document/formfill/FieldHint.h"
#include "document/formfill/FieldWriting.h"
#include "document/formfill/FormFillWidgets.h"
#include "forms/plan/FormPlan.h"

using FormFillWidgets::qs;

namespace {

constexpr int sideMargin = 16;
constexpr int endMargin = 14;

}  // namespace

FieldEditor::FieldEditor(FillItem item, QWidget* parent) : QWidget(parent), item_(std::move(item)) {
    using FormFillWidgets::Level;
    title_ = FormFillWidgets::label({}, 13, Level::primary, this, true);
    title_->setMaximumWidth(fieldWidth);
    title_->setText(title_->fontMetrics().elidedText(qs(FieldCaption::caption(item_)), Qt::ElideRight, fieldWidth));
    hint_ = FormFillWidgets::wrapping(qs(FieldHint::hint(item_)), 12, Level::secondary, fieldWidth, this);
    hint_->setFixedWidth(fieldWidth);

    field_ = new QLineEdit(this);
    field_->setText(qs(item_.value));
    field_->setPlaceholderText(QStringLiteral("Lo que va en este campo"));
    field_->setFont(Brand::systemFont(13));
    field_->setFixedWidth(fieldWidth);

    remember_ = new QCheckBox(QStringLiteral("Recordar en Mis datos"), this);
    remember_->setFont(Brand::systemFont(12));
    remember_->setChecked(true);
    const bool rememberable = item_.label && FormPlan::canRemember(item_.label->label);
    remember_->setHidden(!rememberable);

    clear_ = FormFillWidgets::button(QStringLiteral("Dejar en blanco"), this);
    use_ = FormFillWidgets::button(QStringLiteral("Usar"), this);
    use_->setDefault(true);
    connect(clear_, &QPushButton::clicked, this, [this] { clearPressed(); });
    connect(use_, &QPushButton::clicked, this, [this] { usePressed(); });
    auto* buttons = new QWidget(this);
    buttons->setFixedWidth(fieldWidth);
    auto* buttonLayout = new QHBoxLayout(buttons);
    buttonLayout->setContentsMargins(0, 0, 0, 0);
    buttonLayout->addWidget(clear_);
    buttonLayout->addStretch(1);
    buttonLayout->addWidget(use_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(sideMargin, endMargin, sideMargin, endMargin);
    layout->setSpacing(0);
    layout->addWidget(title_);
    layout->addSpacing(2);
    layout->addWidget(hint_);
    layout->addSpacing(10);
    layout->addWidget(field_);
    if (rememberable) {
        layout->addSpacing(10);
        layout->addWidget(remember_);
    }
    layout->addSpacing(14);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void FieldEditor::usePressed() {
    const std::string text = FieldWriting::trimBlanks(field_->text().toStdString());
    if (!onDone) return;
    const bool flag = remember_->isChecked() && !remember_->isHidden();
    onDone(text.empty() ? std::nullopt : std::optional<std::string>(text), flag);
}

void FieldEditor::clearPressed() {
    if (onDone) onDone(std::nullopt, false);
}

void FieldEditor::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    field_->setFocus(Qt::PopupFocusReason);
}

void FieldEditor::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        usePressed();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}
