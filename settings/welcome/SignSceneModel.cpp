#include "settings/welcome/SignSceneModel.h"

namespace {

// The strokes' design space: the box's inner area spans x 300…745 and y 470…660.
constexpr double designLeft = 300;
constexpr double designWidth = 445;
constexpr double designTop = 470;
constexpr double designHeight = 190;

const std::vector<std::vector<ScenePoint>> strokeDesign = {
    {{300, 640}, {350, 560}, {400, 470}, {440, 500}, {480, 530}, {400, 650}, {450, 655}},
    {{450, 655}, {500, 660}, {540, 520}, {585, 540}, {630, 560}, {560, 640}, {610, 640}},
    {{610, 640}, {660, 640}, {700, 590}, {745, 560}},
};

}  // namespace

ScenePoint SignSceneModel::designPoint(ScenePoint p, const SceneRect& box) {
    return {box.x + 14 + (p.x - designLeft) / designWidth * (box.width - 28),
            box.y + 10 + (p.y - designTop) / designHeight * (box.height - 20)};
}

SignSceneModel SignSceneModel::make(const std::string& productName) {
    SignSceneModel m;
    const std::vector<std::string> titles = {"Abrir", "Abrir con", "Compartir…",
                                             "Firmar con " + productName, "Acciones rápidas"};
    for (std::size_t i = 0; i < titles.size(); ++i) {
        const double y = 12 + 30 * double(i);
        Text item;
        item.text = titles[i];
        item.frame = {18, y + 1, 200, 20};
        item.size = 13.5;
        item.weight = i == signingItem ? Weight::semibold : Weight::regular;
        item.alpha = i == signingItem ? 1 : 0.75;
        m.items.push_back(item);
        if (i == signingItem) m.highlight = {8, y - 3, 214, 26};
    }
    const std::vector<std::pair<double, double>> bars = {
        {28, 150}, {45, 176}, {62, 160}, {79, 176}, {96, 120}, {113, 168}, {130, 100}};
    for (const auto& [y, width] : bars) m.bars.push_back({22, y, width, 6});
    for (std::size_t i = 0; i < m.strokes.size(); ++i) {
        std::vector<ScenePoint> points;
        for (const ScenePoint& p : strokeDesign[i]) points.push_back(designPoint(p, m.box));
        m.strokes[i] = ScenePath::cubic(points);
    }
    m.stampText.text = "✓  Firmado";
    m.stampText.frame = {0, 5, m.stamp.width, 18};
    m.stampText.size = 12.5;
    m.stampText.weight = Weight::bold;
    m.stampText.centred = true;
    return m;
}
