#include "settings/welcome/SignScene.h"

#include <QPainter>

#include <cmath>
#include <numbers>

#include "ui/Brand.h"
#include "settings/welcome/Motion.h"
#include "settings/welcome/MotionTarget.h"
#include "settings/welcome/ScenePainting.h"
#include "settings/welcome/WelcomeColors.h"

namespace {

using namespace ScenePainting;

QFont::Weight weight(SignSceneModel::Weight w) {
    switch (w) {
        case SignSceneModel::Weight::semibold: return QFont::DemiBold;
        case SignSceneModel::Weight::bold: return QFont::Bold;
        case SignSceneModel::Weight::regular: break;
    }
    return QFont::Normal;
}

void drawText(QPainter& p, const SignSceneModel::Text& t) {
    p.setFont(Brand::systemFont(t.size, weight(t.weight)));
    p.setPen(WelcomeColors::white(t.alpha));
    p.drawText(ScenePainting::rect(t.frame), (t.centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop, text(t.text));
}

const QColor confirmedGreen = QColor::fromRgbF(0.12f, 0.62f, 0.35f);
const QColor sheetBar = QColor::fromRgbF(0.81f, 0.9f, 0.91f);

}  // namespace

SignScene::SignScene(QWidget* parent)
    : QWidget(parent), model_(SignSceneModel::make(Brand::name.toStdString())) {
    pellon_ = makeTarget();
    highlight_ = makeTarget();
    paper_ = makeTarget();
    for (auto& stroke : strokes_) stroke = makeTarget();
    stamp_ = makeTarget();
    setFixedHeight(int(SignSceneModel::viewHeight) + 2 * overhang);
}

MotionTarget* SignScene::makeTarget() {
    auto* target = new MotionTarget(this);
    connect(target, &MotionTarget::changed, this, [this] { update(); });
    return target;
}

QSize SignScene::sizeHint() const { return {720, int(SignSceneModel::viewHeight) + 2 * overhang}; }

void SignScene::play() {
    Motion::appear(pellon_, 0.1, -18, 0, false);
    Motion::appear(highlight_, 0.55, 0, 0, false);
    Motion::appear(paper_, 0.3, 0, 22, false);
    for (std::size_t i = 0; i < strokes_.size(); ++i) {
        Motion::draw(strokes_[i], 0.95 + 0.38 * double(i), 0.42);
    }
    Motion::pop(stamp_, 2.15);
}

void SignScene::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const SignSceneModel& m = model_;
    p.translate(0, overhang);

    // The menu, y downwards inside it.
    {
        p.save();
        const QRectF menu(m.menu.x, SignSceneModel::top(m.menu), m.menu.width, m.menu.height);
        applyMotion(p, *pellon_, menu.center(), true);
        p.setPen(QPen(WelcomeColors::white(0.16), 1));
        p.setBrush(WelcomeColors::white(0.09));
        p.drawRoundedRect(menu.adjusted(0.5, 0.5, -0.5, -0.5), m.menuRadius, m.menuRadius);
        p.translate(menu.topLeft());
        {
            p.save();
            const QRectF h = ScenePainting::rect(m.highlight);
            applyMotion(p, *highlight_, h.center(), false);
            p.setPen(Qt::NoPen);
            p.setBrush(Brand::teal(this));
            p.drawRoundedRect(h, m.highlightRadius, m.highlightRadius);
            p.restore();
        }
        for (const auto& item : m.items) drawText(p, item);
        p.restore();
    }

    // The sheet, turned slightly; y downwards on it.
    {
        p.save();
        const QPointF centre(m.paperCentre.x, SignSceneModel::viewHeight - m.paperCentre.y);
        applyMotion(p, *paper_, centre, true);
        p.translate(centre);
        // The scene's turn is anticlockwise with y upwards: the same turn in y-down coordinates.
        p.rotate(-m.paperRotation * 180 / std::numbers::pi);
        p.translate(-m.paperWidth / 2, -m.paperHeight / 2);
        const QRectF sheet(0, 0, m.paperWidth, m.paperHeight);
        shadow(p, sheet, m.paperRadius, 0.35, 18, QPointF(0, 10));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRoundedRect(sheet, m.paperRadius, m.paperRadius);
        p.setBrush(sheetBar);
        for (const SceneRect& bar : m.bars) p.drawRoundedRect(ScenePainting::rect(bar), m.barRadius, m.barRadius);
        const QColor boxColor = QColor::fromRgbF(0, 0.56f, 0.61f);
        QColor boxFill = boxColor, boxLine = boxColor;
        boxFill.setAlphaF(0.06f);
        boxLine.setAlphaF(0.4f);
        QPen dashed(boxLine, 1);
        dashed.setDashPattern({4, 3});
        p.setPen(dashed);
        p.setBrush(boxFill);
        p.drawRoundedRect(ScenePainting::rect(m.box), m.boxRadius, m.boxRadius);
        const QColor colors[] = {Brand::teal(this), Brand::pink(this), Brand::yellow(this)};
        for (std::size_t i = 0; i < m.strokes.size(); ++i) {
            p.save();
            applyMotion(p, *strokes_[i], ScenePainting::rect(m.box).center(), false);
            ScenePainting::stroke(p, m.strokes[i], strokes_[i]->strokeEnd(), colors[i], m.strokeWidth);
            p.restore();
        }
        {
            p.save();
            const QRectF stamp = ScenePainting::rect(m.stamp);
            applyMotion(p, *stamp_, stamp.center(), false);
            p.setPen(Qt::NoPen);
            p.setBrush(confirmedGreen);
            p.drawRoundedRect(stamp, m.stampRadius, m.stampRadius);
            p.translate(stamp.topLeft());
            drawText(p, m.stampText);
            p.restore();
        }
        p.restore();
    }
}
