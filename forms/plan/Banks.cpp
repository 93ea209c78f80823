#include "forms/plan/Banks.h"

#include "forms/plan/PlanText.h"

namespace Banks {

namespace {

constexpr std::size_t ibanLength = 24;

}  // namespace

const std::map<std::string, std::string>& names() {
    static const std::map<std::string, std::string> table = {
        {"0049", "Banco Santander"}, {"0075", "Banco Santander"},  {"0030", "Banco Santander"},
        {"0073", "Openbank"},        {"0182", "BBVA"},             {"0081", "Banco Sabadell"},
        {"2100", "CaixaBank"},       {"2103", "Unicaja"},          {"2038", "CaixaBank"},
        {"0128", "Bankinter"},       {"1465", "ING"},              {"2085", "Ibercaja"},
        {"2095", "Kutxabank"},       {"0237", "Cajasur"},          {"2080", "Abanca"},
        {"2048", "Unicaja"},         {"3058", "Cajamar"},          {"3035", "Laboral Kutxa"},
        {"3025", "Caixa d'Enginyers"}, {"0239", "EVO Banco"},      {"1491", "Triodos Bank"},
        {"0061", "Banca March"},     {"0186", "Banco Mediolanum"}, {"0019", "Deutsche Bank"},
    };
    return table;
}

std::optional<std::string> name(std::string_view forIBAN) {
    const std::vector<std::string> letters = PlanText::lettersAndDigits(forIBAN);
    const std::vector<std::string> iban =
        PlanText::characters(PlanText::upper(PlanText::join(letters, 0, letters.size())));
    if (iban.size() != ibanLength || iban[0] != "E" || iban[1] != "S") return std::nullopt;
    const auto found = names().find(PlanText::join(iban, 4, 8));
    if (found == names().end()) return std::nullopt;
    return found->second;
}

}  // namespace Banks
