#pragma once
// Small builders for the planner's tests: fields, labels, certificates, saved facts and a day.

#include "forms/plan/FormPlan.h"

#include <chrono>
#include <ctime>
#include <string>
#include <vector>

namespace planfix {

inline FormField field(int id, Rect rect = {100, 700, 120, 16}, FormField::Kind kind = FormField::Kind::text,
                       int page = 0) {
    FormField f;
    f.id = id;
    f.pageIndex = page;
    f.name = "campo" + std::to_string(id);
    f.kind = kind;
    f.rect = rect;
    return f;
}

inline FormField choice(int id, std::vector<std::string> options) {
    FormField f = field(id, {100, 700, 120, 16}, FormField::Kind::choice);
    f.options = std::move(options);
    return f;
}

inline FieldLabel label(std::string text, double p = 0.95, std::optional<int> part = std::nullopt) {
    return FieldLabel{std::move(text), part, p};
}

// That day at 12:00 local time.
inline std::chrono::system_clock::time_point day(int year, int month, int mday) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = mday;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&t));
}

inline const std::chrono::system_clock::time_point march5 = day(2026, 3, 5);

inline Certificate person() {
    Certificate c;
    c.name = "GARCIA LOPEZ ANA - 12345678Z";
    c.holder = "Ana García López";
    c.givenName = "Ana";
    c.surnames = "García López";
    c.idNumber = "12345678Z";
    return c;
}

inline Certificate representativeOf() {
    Certificate c = person();
    c.organization = "Talleres Norte SL";
    c.organizationID = "B12345674";
    return c;
}

inline SavedFact fact(std::string owner, std::string kind, std::string value,
                      std::optional<std::string> subject = std::nullopt,
                      std::map<std::string, std::string> parts = {}) {
    SavedFact f;
    f.owner = std::move(owner);
    f.kind = std::move(kind);
    f.value = std::move(value);
    f.parts = std::move(parts);
    f.subject = std::move(subject);
    return f;
}

inline SavedFact madridAddress(std::string owner = "persona") {
    return fact(std::move(owner), "domicilio", "Calle Mayor 1", std::nullopt,
                {{"via", "Calle Mayor"}, {"numero", "1"}, {"piso", "3"}, {"puerta", "B"}, {"cp", "28013"},
                 {"municipio", "Madrid"}});
}

inline const char* iban = "ES91 2100 0418 4502 0005 1332";

// The plan's item for a field id.
inline const FillItem& item(const FormPlan& plan, int id) {
    for (const FillItem& i : plan.items)
        if (i.field.id == id) return i;
    static FillItem none;
    return none;
}

}  // namespace planfix
