#include "settings/welcome/GlassCard.h"

#include <QPainter>
#include <QVBoxLayout>

#include "settings/welcome/WelcomeColors.h"

namespace {
constexpr double cornerRadius = 16;
}

GlassCard::GlassCard(QWidget* content, QMargins padding, QWidget* parent)
    : QWidget(parent), content_(content) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(padding);
    layout->setSpacing(0);
    layout->addWidget(content);
}

void GlassCard::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(WelcomeColors::white(0.12), 1));
    p.setBrush(WelcomeColors::white(0.07));
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
}
