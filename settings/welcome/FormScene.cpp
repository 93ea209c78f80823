#include "settings/welcome/FormScene.h"

#include <QPainter>

#include "ui/Brand.h"
#include "settings/welcome/Motion.h"
#include "settings/welcome/MotionTarget.h"
#include "settings/welcome/ScenePainting.h"

namespace {

using namespace ScenePainting;

const QColor ink = QColor::fromRgbF(0.07f, 0.21f, 0.36f);
const QColor captionGrey = QColor::fromRgbF(0.42f, 0.47f, 0.53f);
const QColor confirmedGreen = QColor::fromRgbF(0.12f, 0.62f, 0.35f);
const QColor fieldBorder = QColor::fromRgbF(0.89f, 0.91f, 0.94f);

}  // namespace

FormScene::FormScene(double width, QWidget* parent)
    : QWidget(parent), model_(FormSceneModel::make(width)) {
    card_ = makeTarget();
    for (std::size_t i = 0; i < model_.fields.size(); ++i) rows_.push_back({makeTarget(), makeTarget()});
    chip_ = makeTarget();
    setFixedSize(int(width), int(FormSceneModel::viewHeight));
}

MotionTarget* FormScene::makeTarget() {
    auto* target = new MotionTarget(this);
    connect(target, &MotionTarget::changed, this, [this] { update(); });
    return target;
}

QSize FormScene::sizeHint() const { return {int(model_.width), int(FormSceneModel::viewHeight)}; }

void FormScene::play() {
    Motion::appear(card_, 0.05, 0, 18, false);
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const double d = 0.55 + 0.26 * double(i);
        Motion::appear(rows_[i].field, d);
        Motion::appear(rows_[i].value, d + 0.06, -8, 0, false);
    }
    Motion::pop(chip_, 0.55 + 0.26 * double(rows_.size()) + 0.1);
}

void FormScene::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const FormSceneModel& m = model_;
    const QRectF card(m.card.x, FormSceneModel::top(m.card), m.card.width, m.card.height);
    applyMotion(p, *card_, card.center(), true);
    shadow(p, card, m.cardRadius, 0.3, 16, QPointF(0, 8));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(card, m.cardRadius, m.cardRadius);
    p.translate(card.topLeft());

    p.setFont(Brand::systemFont(10.5, QFont::Bold));
    p.setPen(captionGrey);
    p.drawText(ScenePainting::rect(m.titleFrame), Qt::AlignLeft | Qt::AlignTop, text(m.title));

    const QFont captionFont = Brand::systemFont(10.5, QFont::Medium);
    const QFont valueFont = Brand::systemFont(14, QFont::Medium);
    for (std::size_t i = 0; i < m.fields.size(); ++i) {
        const FormSceneModel::Field& f = m.fields[i];
        const QRectF field = ScenePainting::rect(f.rect);
        p.setFont(captionFont);
        p.setPen(captionGrey);
        p.drawText(ScenePainting::rect(f.captionFrame), Qt::AlignLeft | Qt::AlignTop, text(f.caption));
        p.setPen(QPen(fieldBorder, 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(field.adjusted(0.5, 0.5, -0.5, -0.5), m.fieldRadius, m.fieldRadius);
        {
            p.save();
            applyMotion(p, *rows_[i].field, field.center(), false);
            const QColor tone = f.confirmed ? confirmedGreen : Brand::yellow(this);
            QColor fill = tone;
            fill.setAlphaF(f.confirmed ? 0.13f : 0.2f);
            p.setPen(QPen(tone, 1.5));
            p.setBrush(fill);
            p.drawRoundedRect(field.adjusted(0.75, 0.75, -0.75, -0.75), m.fieldRadius, m.fieldRadius);
            p.restore();
        }
        {
            p.save();
            const QRectF value = ScenePainting::rect(f.valueFrame);
            applyMotion(p, *rows_[i].value, value.center(), false);
            p.setFont(valueFont);
            p.setPen(ink);
            p.drawText(value, Qt::AlignLeft | Qt::AlignTop, text(f.value));
            p.restore();
        }
    }
    {
        p.save();
        const QRectF chip = ScenePainting::rect(m.chip);
        applyMotion(p, *chip_, chip.center(), false);
        p.setPen(Qt::NoPen);
        p.setBrush(Brand::yellow(this));
        p.drawRoundedRect(chip, m.chipRadius, m.chipRadius);
        p.translate(chip.topLeft());
        p.setFont(Brand::systemFont(11.5, QFont::Bold));
        p.setPen(ink);
        p.drawText(ScenePainting::rect(m.chipTextFrame), Qt::AlignHCenter | Qt::AlignTop, text(m.chipText));
        p.restore();
    }
}
