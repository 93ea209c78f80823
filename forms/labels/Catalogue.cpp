#include "forms/labels/Catalogue.h"

#include "forms/labels/RuleLabeler.h"
#include "forms/reader/FormUnit.h"
#include "platform/Regex.h"

namespace {

// What-key to the tail of the titular's fact key, per group of the person table.
using Tails = std::map<std::string, std::string, std::less<>>;

const Tails& identity() {
    static const Tails tails{
        {"tipo_persona", "tipo"},
        {"documento_tipo", "documento_tipo"},
        {"nif", "nif"},
        {"nombre", "nombre"},
        {"apellido1", "apellido1"},
        {"apellido2", "apellido2"},
        {"apellidos", "apellidos"},
        {"nombre_completo", "nombre_completo"},
        {"razon_social", "razon_social"},
        {"nombre_comercial", "nombre_comercial"},
        {"actividad", "actividad"},
        {"sexo", "sexo"},
        {"fecha_nacimiento", "fecha_nacimiento"},
        {"lugar_nacimiento", "lugar_nacimiento"},
        {"nacionalidad", "nacionalidad"},
        {"estudios", "estudios"},
    };
    return tails;
}

const Tails& address() {
    static const Tails tails{
        {"domicilio_completo", "completo"},
        {"tipo_via", "tipo_via"},
        {"via", "via"},
        {"numero", "numero"},
        {"escalera", "escalera"},
        {"piso", "piso"},
        {"puerta", "puerta"},
        {"domicilio_resto", "resto"},
        {"cp", "cp"},
        {"municipio", "municipio"},
        {"provincia", "provincia"},
        {"pais", "pais"},
    };
    return tails;
}

const Tails& contact() {
    static const Tails tails{
        {"telefono", "telefono"},
        {"movil", "movil"},
        {"fax", "fax"},
        {"email", "email"},
        {"persona_contacto", "persona"},
        {"contacto_completo", "completo"},
        {"web", "web"},
    };
    return tails;
}

const Tails& bank() {
    static const Tails tails{
        {"iban", "iban"},
        {"iban_pais", "iban_pais"},
        {"entidad", "entidad"},
        {"oficina", "oficina"},
        {"dc", "dc"},
        {"cuenta", "cuenta"},
        {"bic", "bic"},
        {"nombre_entidad", "nombre_entidad"},
        {"domicilio_entidad", "domicilio_entidad"},
        {"pais_banco", "pais"},
        {"cuenta_extranjera", "cuenta_extranjera"},
    };
    return tails;
}

const std::string* tail(const Tails& tails, std::string_view key) {
    auto found = tails.find(key);
    return found == tails.end() ? nullptr : &found->second;
}

bool contains(const Catalogue::Table& table, std::string_view key) {
    return table.find(key) != table.end();
}

constexpr std::string_view kClosingPrefix = "baja_";

std::optional<std::string> titularLabel(std::string_view what) {
    if (const std::string* t = tail(identity(), what)) return "titular." + *t;
    if (const std::string* t = tail(address(), what)) return "domicilio." + *t;
    if (const std::string* t = tail(contact(), what)) return "contacto." + *t;
    if (what == "medio_notificacion") return "contacto.medio_notificacion";
    if (const std::string* t = tail(bank(), what)) return "banco." + *t;
    if (what.starts_with(kClosingPrefix))
        return "baja." + std::string(what.substr(kClosingPrefix.size()));
    return std::nullopt;
}

std::optional<std::string> representativeLabel(std::string_view what) {
    if (what == "nif" || what == "documento_tipo") return "representante.nif";
    for (std::string_view name :
         {"nombre", "apellido1", "apellido2", "apellidos", "nombre_completo", "cargo"}) {
        if (what == name) return "representante." + std::string(what);
    }
    if (what == "razon_social") return "representante.nombre_completo";
    if (tail(address(), what)) return "representante.domicilio";
    if (tail(contact(), what)) return "representante.contacto";
    return std::nullopt;
}

std::optional<std::string> signatureLabel(std::string_view what) {
    if (!contains(Catalogue::signature(), what)) return std::nullopt;
    if (what == "firmante") return "firma.nombre";
    if (what == "caja_firma") return "firma.caja";
    return "firma." + std::string(what);
}

std::optional<std::string> caseLabel(std::string_view what) {
    if (what == "medio_notificacion") return "contacto.medio_notificacion";
    if (!contains(Catalogue::caseData(), what)) return std::nullopt;
    if (what == "tipo_tramite") return "tramite.tipo";
    if (what == "otro_tramite") return "tramite.otro";
    return "tramite." + std::string(what);
}

std::optional<std::string> nobodyLabel(std::string_view what) {
    if (what == "lo_rellena_banco") return "no_rellenar.entidad";
    if (what == "lo_rellena_administracion") return "no_rellenar.administracion";
    if (what == "decorativo") return "no_rellenar.decorativo";
    return std::nullopt;
}

}  // namespace

namespace Catalogue {

const Table& who() {
    static const Table table{
        {"titular",
         "Dato de la persona o empresa que presenta el formulario (solicitante, interesado, "
         "declarante, acreedor, deudor, otorgante de una representación), incluidos su domicilio, "
         "su contacto y su cuenta bancaria."},
        {"representante",
         "Dato de quien actúa en nombre del titular (su representante; en un modelo de "
         "representación, la persona a la que se otorga)."},
        {"otra_persona",
         "Dato de otra persona o empresa que no es ni el titular ni su representante: miembros del "
         "hogar, cónyuge o segundo contrayente, segundo firmante, conductor identificado, "
         "beneficiarios, otras empresas."},
        {"firma",
         "Lugar, fecha o nombre de la firma («En … a … de … de …», «Fdo.:»), o el recuadro para "
         "firmar."},
        {"tramite",
         "Dato del caso concreto: qué se pide y por qué, importes, referencias o expedientes, "
         "documentos que se aportan, declaraciones, consentimientos, casillas del tipo de "
         "trámite."},
        {"nadie",
         "No lo rellena quien presenta el formulario: lo rellena la administración o el banco, o "
         "es un campo decorativo, una etiqueta o un botón."},
    };
    return table;
}

const Table& person() {
    static const Table table{
        {"tipo_persona", "casilla o dato de persona física / jurídica"},
        {"documento_tipo", "casilla del tipo de documento (NIF, NIE, pasaporte, CIF)"},
        {"nif", "NIF, DNI, NIE, CIF o pasaporte"},
        {"nombre",
         "solo el nombre de pila (o la razón social si el campo es «nombre o razón social» y los "
         "apellidos van aparte)"},
        {"apellido1", "primer apellido"},
        {"apellido2", "segundo apellido"},
        {"apellidos", "los dos apellidos en un solo campo"},
        {"nombre_completo", "nombre y apellidos, o nombre o razón social, en un solo campo"},
        {"razon_social", "razón social de una empresa"},
        {"nombre_comercial", "nombre comercial"},
        {"actividad", "actividad económica, IAE, CNAE"},
        {"sexo", "sexo"},
        {"fecha_nacimiento", "fecha de nacimiento"},
        {"lugar_nacimiento", "lugar de nacimiento"},
        {"nacionalidad", "nacionalidad"},
        {"estudios", "nivel de estudios"},
        {"cargo", "cargo, «en calidad de», tipo de administrador"},
        {"domicilio_completo", "dirección en un solo campo"},
        {"tipo_via", "tipo de vía"},
        {"via", "nombre de la calle o vía, sin número"},
        {"numero", "número de la calle"},
        {"escalera", "escalera o bloque"},
        {"piso", "piso o planta"},
        {"puerta", "puerta o letra"},
        {"domicilio_resto", "otra parte del domicilio (portal, km, urbanización)"},
        {"cp", "código postal"},
        {"municipio", "municipio, población o localidad"},
        {"provincia", "provincia"},
        {"pais", "país del domicilio"},
        {"telefono", "teléfono"},
        {"movil", "teléfono móvil"},
        {"fax", "fax"},
        {"email", "correo electrónico"},
        {"persona_contacto", "persona de contacto"},
        {"contacto_completo",
         "varios datos de contacto en un solo campo («datos de contacto»: correo y teléfono)"},
        {"web", "página web"},
        {"medio_notificacion", "casillas de cómo quiere recibir las notificaciones"},
        {"iban", "IBAN completo o una parte"},
        {"iban_pais", "solo el código de país y dígitos de control del IBAN (ES00)"},
        {"entidad", "código de entidad bancaria (CCC)"},
        {"oficina", "código de oficina o sucursal (CCC)"},
        {"dc", "dígitos de control (CCC)"},
        {"cuenta", "número de cuenta (CCC)"},
        {"bic", "BIC o SWIFT"},
        {"nombre_entidad", "nombre del banco o de la sucursal"},
        {"domicilio_entidad", "dirección del banco o de la sucursal"},
        {"pais_banco", "país del banco"},
        {"cuenta_extranjera", "cuenta extranjera sin IBAN"},
        {"baja_iban", "IBAN de la cuenta que se da de baja"},
        {"baja_bic", "BIC de la cuenta que se da de baja"},
        {"baja_entidad", "entidad (CCC) de la cuenta que se da de baja"},
        {"baja_oficina", "oficina (CCC) de la cuenta que se da de baja"},
        {"baja_dc", "dígitos de control de la cuenta que se da de baja"},
        {"baja_cuenta", "número de la cuenta que se da de baja"},
        {"baja_nombre_entidad", "banco de la cuenta que se da de baja"},
        {"baja_todas", "casilla «dar de baja todas las cuentas»"},
    };
    return table;
}

const Table& signature() {
    static const Table table{
        {"lugar", "localidad donde se firma"},
        {"fecha", "fecha de firma en un campo"},
        {"dia", "día de la fecha de firma"},
        {"mes", "mes de la fecha de firma"},
        {"anio", "año de la fecha de firma"},
        {"firmante", "nombre de quien firma («Fdo.:»)"},
        {"caja_firma", "recuadro para la firma, sin texto"},
    };
    return table;
}

const Table& caseData() {
    static const Table table{
        {"tipo_tramite", "casillas del tipo de trámite (alta, baja, modificación, causa…)"},
        {"expone", "texto libre de «expone», hechos o motivos"},
        {"solicita", "texto libre de «solicita», lo que se pide"},
        {"documentos", "documentos que se aportan"},
        {"importe", "importes y cuantías"},
        {"referencia",
         "nº de expediente, liquidación, recibo, referencia catastral, matrícula, convocatoria"},
        {"declaracion", "casillas «declaro que…» o «sí / no» de una declaración"},
        {"consentimiento", "casillas de autorizo, no autorizo, me opongo, consiento"},
        {"otro_tramite", "otro dato del caso"},
    };
    return table;
}

const Table& nobody() {
    static const Table table{
        {"lo_rellena_banco", "lo rellena o certifica el banco"},
        {"lo_rellena_administracion",
         "lo rellena la administración (registro, nº de tercero, visto bueno)"},
        {"decorativo", "campo decorativo, etiqueta, tapa o botón"},
    };
    return table;
}

const Table& whoThirdParties() {
    static const Table table = [] {
        Table changed = who();
        changed["titular"] =
            "Dato de la persona o empresa que presenta el formulario (solicitante, interesado, "
            "declarante, acreedor, deudor, el tercero de una ficha o alta de terceros, otorgante "
            "de "
            "una representación), incluidos su domicilio, su contacto y su cuenta bancaria.";
        changed["otra_persona"] +=
            " El «tercero» de una ficha de terceros no es otra persona: es el titular.";
        return changed;
    }();
    return table;
}

const Table& what() {
    static const Table table = [] {
        Table all;
        for (const Table* part : {&person(), &signature(), &caseData(), &nobody()}) {
            all.insert(part->begin(), part->end());
        }
        return all;
    }();
    return table;
}

std::optional<std::string> label(std::string_view who, std::string_view what) {
    if (who == "titular") return titularLabel(what);
    if (who == "representante") return representativeLabel(what);
    if (who == "otra_persona") {
        if (contains(person(), what) && !what.starts_with(kClosingPrefix))
            return "otra_persona.dato";
        return std::nullopt;
    }
    if (who == "firma") return signatureLabel(what);
    if (who == "tramite") return caseLabel(what);
    if (who == "nadie") return nobodyLabel(what);
    return std::nullopt;
}

std::optional<std::pair<std::string, double>> decode(const Probabilities& who,
                                                     const Probabilities& what) {
    std::optional<std::pair<std::string, double>> best;
    for (const auto& [whoKey, pWho] : who) {
        for (const auto& [whatKey, pWhat] : what) {
            std::optional<std::string> key = label(whoKey, whatKey);
            if (!key) continue;
            const double p = pWhat * pWho;
            // NaN compares false both ways, so an unreadable probability never wins.
            if (best ? p > best->second : p > 0) best.emplace(std::move(*key), p);
        }
    }
    return best;
}

bool isAboutThirdParties(const std::vector<FormUnit>& units) {
    // The words tercero(s) and tercer(s), but not "a terceros" (data handed on to others).
    static const Regex thirdParty = Regex::constant(R"((?<!\ba )\bterceros?\b|\btercers?\b)");
    for (const FormUnit& unit : units) {
        const FormField& field = unit.first();
        std::string text;
        auto add = [&text](const std::string& piece) {
            if (!text.empty()) text += ' ';
            text += piece;
        };
        if (field.section) add(*field.section);
        if (field.header) add(*field.header);
        for (const std::string& caption : field.captions) add(caption);
        add(field.left);
        add(field.above);
        if (thirdParty.search(RuleLabeler::norm(text))) return true;
    }
    return false;
}

}  // namespace Catalogue
