// The parties of a form: the certificate's holder as a person and its organisation as a company,
// each with the saved facts that belong to it.

#include "forms/plan/FormPlan.h"

namespace {

bool ownedByPerson(const SavedFact& fact) { return fact.owner == "persona" || fact.owner == "representante"; }

// A fact without subject belongs to anyone; one with a subject only to that identity.
bool belongsTo(const SavedFact& fact, const std::optional<std::string>& identity) {
    return !fact.subject || (identity && *fact.subject == *identity);
}

}  // namespace

FormPlan::Person::Person(const Certificate& certificate, const std::vector<SavedFact>& saved)
    : name(certificate.holder),
      given(certificate.givenName),
      surnames(certificate.surnames),
      id(certificate.idNumber) {
    for (const SavedFact& fact : saved)
        if (ownedByPerson(fact) && belongsTo(fact, certificate.idNumber)) facts.insert_or_assign(fact.kind, fact);
}

FormPlan::Company::Company(const Certificate& certificate, const std::vector<SavedFact>& saved)
    : name(certificate.organization.value_or("")), id(certificate.organizationID) {
    // A saved legal name of this very organisation (compared as optional texts) takes precedence
    // over the certificate's.
    for (const SavedFact& fact : saved) {
        if (fact.owner == "empresa" && fact.kind == "razon_social" && fact.subject == certificate.organizationID) {
            name = fact.value;
            break;
        }
    }
    for (const SavedFact& fact : saved)
        if (fact.owner == "empresa" && belongsTo(fact, certificate.organizationID))
            facts.insert_or_assign(fact.kind, fact);
}

const FormPlan::Facts& FormPlan::Party::facts() const {
    if (const Person* p = person()) return p->facts;
    return company()->facts;
}

std::optional<SavedFact> FormPlan::Party::address() const {
    const Facts& all = facts();
    for (const char* kind : {"domicilio_fiscal", "domicilio", "domicilio_social"}) {
        const auto found = all.find(kind);
        if (found != all.end()) return found->second;
    }
    return std::nullopt;
}

bool FormPlan::isSigners(std::string_view label, const std::optional<Party>& holder,
                         const std::optional<Party>& representative) {
    for (std::string_view prefix : {"titular.", "domicilio.", "contacto.", "banco."})
        if (label.starts_with(prefix)) return holder.has_value();
    if (label.starts_with("representante.")) return representative.has_value();
    return false;
}
