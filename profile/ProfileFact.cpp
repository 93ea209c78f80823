#include "profile/ProfileFact.h"

std::string_view ProfileFact::rawValue(Owner owner) {
    switch (owner) {
        case Owner::company: return "empresa";
        case Owner::person: return "persona";
        case Owner::representative: return "representante";
        case Owner::text: return "texto";
    }
    return "texto";
}

std::optional<ProfileFact::Owner> ProfileFact::ownerNamed(std::string_view raw) {
    if (raw == "empresa") return Owner::company;
    if (raw == "persona") return Owner::person;
    if (raw == "representante") return Owner::representative;
    if (raw == "texto") return Owner::text;
    return std::nullopt;
}
