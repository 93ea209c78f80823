#include "signing/SignatureCopy.h"

#include <cmath>
#include <limits>
#include <stdexcept>

namespace {

[[noreturn]] void invalid(const char* what) {
    throw std::runtime_error(std::string("La copia de la firma guardada no es válida: ") + what +
                             ".");
}

double number(const nlohmann::json& value) {
    if (!value.is_number()) invalid("el rectángulo no tiene números");
    return value.get<double>();
}

// Two numbers, as in [x, y] or [width, height].
std::pair<double, double> pair(const nlohmann::json& value) {
    if (!value.is_array() || value.size() != 2)
        invalid("el rectángulo no tiene la forma [[x, y], [ancho, alto]]");
    return {number(value[0]), number(value[1])};
}

}  // namespace

nlohmann::json SignatureCopy::toJSON() const {
    nlohmann::json json = nlohmann::json::object();
    json["pageIndex"] = pageIndex;
    json["rect"] = nlohmann::json::array({nlohmann::json::array({rect.x, rect.y}),
                                          nlohmann::json::array({rect.width, rect.height})});
    if (handwritten) json["handwritten"] = *handwritten;
    return json;
}

SignatureCopy SignatureCopy::fromJSON(const nlohmann::json& json) {
    if (!json.is_object()) invalid("no es un objeto");
    SignatureCopy copy;

    auto page = json.find("pageIndex");
    if (page == json.end()) invalid("falta «pageIndex»");
    if (page->is_number_integer()) {
        if (page->is_number_unsigned()
                ? page->get<std::uint64_t>() > std::numeric_limits<int>::max()
                : (page->get<std::int64_t>() > std::numeric_limits<int>::max() ||
                   page->get<std::int64_t>() < std::numeric_limits<int>::min())) {
            invalid("«pageIndex» está fuera de rango");
        }
        copy.pageIndex = page->get<int>();
    } else if (page->is_number_float()) {
        double v = page->get<double>();
        if (std::trunc(v) != v || v > std::numeric_limits<int>::max() ||
            v < std::numeric_limits<int>::min()) {
            invalid("«pageIndex» no es un número entero");
        }
        copy.pageIndex = static_cast<int>(v);
    } else {
        invalid("«pageIndex» no es un número entero");
    }

    auto rect = json.find("rect");
    if (rect == json.end()) invalid("falta «rect»");
    if (!rect->is_array() || rect->size() != 2)
        invalid("el rectángulo no tiene la forma [[x, y], [ancho, alto]]");
    auto [x, y] = pair((*rect)[0]);
    auto [width, height] = pair((*rect)[1]);
    if (width < 0) {
        x += width;
        width = -width;
    }
    if (height < 0) {
        y += height;
        height = -height;
    }
    copy.rect = {x, y, width, height};

    auto handwritten = json.find("handwritten");
    if (handwritten != json.end() && !handwritten->is_null()) {
        if (!handwritten->is_boolean()) invalid("«handwritten» no es un valor lógico");
        copy.handwritten = handwritten->get<bool>();
    }
    return copy;
}

void to_json(nlohmann::json& json, const SignatureCopy& copy) {
    json = copy.toJSON();
}
void from_json(const nlohmann::json& json, SignatureCopy& copy) {
    copy = SignatureCopy::fromJSON(json);
}
