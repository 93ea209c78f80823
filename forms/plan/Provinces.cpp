#include "forms/plan/Provinces.h"

#include "forms/plan/PlanText.h"

#include <array>

namespace Provinces {

namespace {

// Row n - 1 is the province whose postcodes begin with n.
constexpr std::array<const char*, count> table = {
    "Álava",      "Albacete",  "Alicante",    "Almería",    "Ávila",
    "Badajoz",    "Illes Balears", "Barcelona", "Burgos",   "Cáceres",
    "Cádiz",      "Castellón", "Ciudad Real", "Córdoba",    "A Coruña",
    "Cuenca",     "Girona",    "Granada",     "Guadalajara", "Gipuzkoa",
    "Huelva",     "Huesca",    "Jaén",        "León",       "Lleida",
    "La Rioja",   "Lugo",      "Madrid",      "Málaga",     "Murcia",
    "Navarra",    "Ourense",   "Asturias",    "Palencia",   "Las Palmas",
    "Pontevedra", "Salamanca", "Santa Cruz de Tenerife", "Cantabria", "Segovia",
    "Sevilla",    "Soria",     "Tarragona",   "Teruel",     "Toledo",
    "Valencia",   "Valladolid", "Bizkaia",    "Zamora",     "Zaragoza",
    "Ceuta",      "Melilla",
};

constexpr std::size_t postcodeLength = 5;

}  // namespace

std::optional<std::string> name(const std::optional<std::string>& forPostcode) {
    if (!forPostcode) return std::nullopt;
    const std::vector<std::string> characters = PlanText::characters(*forPostcode);
    if (characters.size() != postcodeLength) return std::nullopt;
    long code = 0;
    if (!PlanText::wholeNumber(characters[0] + characters[1], code)) return std::nullopt;
    if (code < 1 || code > count) return std::nullopt;
    return std::string(table[static_cast<std::size_t>(code - 1)]);
}

}  // namespace Provinces
