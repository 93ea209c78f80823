#include "settings/welcome/FormSceneModel.h"

#include <cmath>

FormSceneModel FormSceneModel::make(double width) {
    FormSceneModel m;
    m.width = width;
    m.card = {0, 6, width, 224};
    m.leftWidth = std::round((width - 66) * 0.62);  // halves away from zero
    m.rightX = 24 + m.leftWidth + 18;
    m.rightWidth = width - 24 - m.rightX;
    struct Row {
        const char* caption;
        const char* value;
        bool left;
        double y;
        bool confirmed;
    };
    const Row rows[] = {
        {"Nombre y apellidos", "Elena Vidal Soler", true, 56, true},
        {"NIF", "12345678Z", false, 56, true},
        {"Domicilio", "Calle Mayor, 12 · 28013 Madrid", true, 114, true},
        {"Fecha", "8 de octubre de 2026", false, 114, true},
        {"IBAN", "ES91 2100 0418 4502 0005 1332", true, 172, false},
    };
    for (const Row& row : rows) {
        Field f;
        f.caption = row.caption;
        f.value = row.value;
        f.rect = row.left ? SceneRect{24, row.y, m.leftWidth, fieldHeight}
                          : SceneRect{m.rightX, row.y, m.rightWidth, fieldHeight};
        f.captionFrame = {f.rect.x, row.y - 16, f.rect.width, 14};
        f.valueFrame = {f.rect.x + 12, row.y + 7, f.rect.width - 24, 18};
        f.confirmed = row.confirmed;
        m.fields.push_back(f);
    }
    m.chip = {m.rightX, 177, 130, 22};
    m.chipTextFrame = {0, 4, 130, 16};
    return m;
}
