#pragma once
// The fill plan of a form: one item per fillable field with its value, source and state, the role
// in which the signer fills the form, and the edits the document window makes to it. The planning
// constructor decides every item from the fields, their labels, the signing certificate, the
// user's saved facts and the day of planning. Nothing here throws.

#include "forms/labels/FieldLabel.h"
#include "forms/plan/FillItem.h"
#include "forms/reader/FormField.h"
#include "profile/SavedFact.h"
#include "signing/Certificate.h"

#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <variant>
#include <vector>

struct FormPlan {
    // In this order: the window's role control shows them as segments 0 and 1.
    enum class Role {
        holder,          // the signer fills the form as the interested party
        representative,  // the signer acts for the holder (normally the company of the certificate)
    };

    // Captions of the origin of a value: the only texts FillItem::source takes besides none.
    struct Source {
        static constexpr const char* certificate = "De tu certificado";
        static constexpr const char* profile = "De Mis datos";
        static constexpr const char* today = "Fecha de hoy";
        static constexpr const char* typed = "Escrito por ti";
    };

    // Saved facts of one party by kind ("telefono", "domicilio", ...), at most one per kind.
    using Facts = std::map<std::string, SavedFact>;

    // The certificate's holder as a natural person, with the saved facts that are theirs.
    struct Person {
        std::string name;                     // Certificate::holder
        std::optional<std::string> given;     // Certificate::givenName
        std::optional<std::string> surnames;  // both surnames in one text
        std::optional<std::string> id;        // DNI or NIE
        Facts facts;

        Person() = default;
        // Facts of owner "persona" or "representante" whose subject is absent or the
        // certificate's identity number; of one kind, the later in stored order wins.
        Person(const Certificate& certificate, const std::vector<SavedFact>& facts);
    };

    // The certificate's organisation, with the saved facts that are its.
    struct Company {
        std::string name;               // saved legal name, else Certificate::organization, else ""
        std::optional<std::string> id;  // Certificate::organizationID (CIF)
        Facts facts;

        Company() = default;
        Company(const Certificate& certificate, const std::vector<SavedFact>& facts);
    };

    // A person or a company; an absent party is std::nullopt.
    struct Party : std::variant<Person, Company> {
        using std::variant<Person, Company>::variant;

        const Person* person() const { return std::get_if<Person>(this); }
        const Company* company() const { return std::get_if<Company>(this); }
        const Facts& facts() const;
        // The first of the kinds "domicilio_fiscal", "domicilio", "domicilio_social" it holds.
        std::optional<SavedFact> address() const;
    };

    // Labels the form asks for (confidence at least 0.5).
    using Asked = std::unordered_set<std::string>;

    std::vector<FillItem> items;  // one per fillable field, in the order of the fields planned
    Role role = Role::holder;     // always resolved
    bool hasRepresentative = false;  // some field is labelled for a representative

    // An empty plan.
    FormPlan() = default;

    // The planner. `role` none: representative when the certificate has an organisation, else
    // holder. `facts` are the saved facts (the caller reads ProfileStore::facts once per planning);
    // `date` is the day for date fields. Labels keyed by ids of no field are ignored.
    FormPlan(const std::vector<FormField>& fields, const Labels& labels, const Certificate& certificate,
             std::optional<Role> role, const std::vector<SavedFact>& facts,
             std::chrono::system_clock::time_point date);

    // The items to write (filled with a value), in item order.
    std::vector<FillItem> written() const;
    // The number of items in a state.
    int count(FillItem::State state) const;
    // Whether a typed value of a field with this label can be kept in the saved facts.
    static bool canRemember(std::string_view label);
    // The facts to store after signing: one per item with `remember`, a value and a label that
    // canRemember accepts, in item order; `now` is their update time.
    std::vector<SavedFact> remembered(const Certificate& certificate,
                                      std::chrono::system_clock::time_point now) const;

    // Edits of the first item of the field id; an unknown id changes nothing.
    // The user typed a value: filled and "Escrito por ti", or yours without source when empty.
    void set(const std::string& value, int fieldID, bool remember);
    // The user took the tick out of a box or emptied a field that is not theirs: other.
    void untick(int fieldID);
    // The user emptied a field that stays theirs: yours.
    void clear(int fieldID);
    // Suggested items among the ids become filled; items in other states are not touched.
    void confirm(const std::set<int>& fieldIDs);
    // Confirms every suggestion.
    void confirmSuggestions();

    // Thresholds of a label, compared inclusively: the least confidence at which a value is
    // looked for (default 0.5) and at which a found value is written without asking (default 0.9).
    static double proposeAt(const std::string& label);
    static double sureAt(const std::string& label);

    // Whether a label speaks of a party present in this signing: "titular.", "domicilio.",
    // "contacto." and "banco." labels of the holder, "representante." ones of the representative.
    static bool isSigners(std::string_view label, const std::optional<Party>& holder,
                          const std::optional<Party>& representative);

    // The value for a label and the caption of its origin; an empty value means nothing to
    // propose whatever the caption. The field is consulted only for date parts.
    static std::pair<std::string, std::string> value(std::string_view label, const FormField& field,
                                                     const std::optional<Party>& holder,
                                                     const std::optional<Party>& representative,
                                                     const Person& signer,
                                                     std::chrono::system_clock::time_point date,
                                                     const Asked& asked);

    // The option that a value names: the first equal one after RuleLabeler::norm, else the first
    // that begins with the value and a space; none otherwise. The option's own text is given.
    static std::optional<std::string> option(std::string_view matching,
                                             const std::vector<std::string>& in);

private:
    void onlyFirstRow();
    void onlyFirstSure();
    void accountLines(const std::vector<std::string>& account);
    void setState(int fieldID, FillItem::State state);
};
