// The AI labeller's labelling: batches, the requests in flight, the merge and the surname split.
#include "forms/ai/JevLabeler.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace {

// Fields further apart than this (bottom edges, points) are not one line of two surnames.
constexpr double kSurnameLine = 30;
// A full name this close (bottom edges, points) to a surname field is the given name only.
constexpr double kNameNearSurname = 40;

constexpr const char* kSurnameRoles[] = {"titular", "representante"};

}  // namespace

JevLabeler::JevLabeler(std::string key, AISettings settings, AIPrivacyMask mask)
    : apiKey_(std::move(key)), settings_(std::move(settings)), mask_(std::move(mask)) {}

AILabeler JevLabeler::labeler(const AISettings& settings, Facts facts) {
    return AILabeler{
        [settings] { return JevLabeler::key(settings); },
        [settings, facts](const std::string& key, const std::vector<FormUnit>& units,
                          const std::string& formName, std::stop_token stop) {
            std::vector<SavedFact> saved;
            try {
                if (facts) saved = facts();
            } catch (...) {
                saved.clear();  // the shapes are still masked
            }
            return JevLabeler(key, settings, AIPrivacyMask(saved)).labels(units, formName, stop);
        },
    };
}

std::vector<std::vector<FormUnit>> JevLabeler::batches(const std::vector<FormUnit>& units) {
    std::map<int, std::vector<const FormUnit*>> pages;
    for (const FormUnit& unit : units) {
        if (!unit.fields.empty()) pages[unit.first().pageIndex].push_back(&unit);
    }
    std::vector<std::vector<FormUnit>> result;
    for (const auto& [page, onPage] : pages) {
        for (std::size_t i = 0; i < onPage.size(); i += batchSize) {
            std::vector<FormUnit> batch;
            const std::size_t end = std::min(onPage.size(), i + batchSize);
            batch.reserve(end - i);
            for (std::size_t k = i; k < end; ++k) batch.push_back(*onPage[k]);
            result.push_back(std::move(batch));
        }
    }
    return result;
}

Labels JevLabeler::labels(const std::vector<FormUnit>& units, const std::string& formName,
                          std::stop_token stop) const {
    const Catalogue::Table& who =
        Catalogue::isAboutThirdParties(units) ? Catalogue::whoThirdParties() : Catalogue::who();
    const std::vector<std::vector<FormUnit>> all = batches(units);
    Labels merged;
    if (all.empty()) return merged;

    std::atomic<std::size_t> next{0};
    std::mutex lock;
    // Each worker takes the next batch not yet asked; answers are merged as they come back, the
    // label already present winning.
    auto work = [&] {
        for (;;) {
            const std::size_t i = next.fetch_add(1);
            if (i >= all.size() || stop.stop_requested()) return;
            Labels answer;
            try {
                answer = ask(all[i], units, formName, who, stop);
            } catch (...) {
                answer.clear();  // a batch that fails costs only its own units
            }
            std::lock_guard<std::mutex> guard(lock);
            for (auto& entry : answer) merged.insert(std::move(entry));
        }
    };
    const std::size_t cap = std::max<std::size_t>(1, settings_.maxInFlight);
    const std::size_t workers = std::min(cap, all.size());
    std::vector<std::jthread> threads;
    threads.reserve(workers - 1);
    try {
        for (std::size_t i = 1; i < workers; ++i) threads.emplace_back(work);
    } catch (...) {
        // No more threads to be had: the ones running and this one share the batches.
    }
    work();
    for (auto& thread : threads) thread.join();

    surnames(units, merged);
    return merged;
}

void JevLabeler::surnames(const std::vector<FormUnit>& units, Labels& labels) {
    std::unordered_map<int, const FormField*> byId;
    for (const FormUnit& unit : units) {
        for (const FormField& field : unit.fields) byId.emplace(field.id, &field);
    }
    auto fieldOf = [&](int id) -> const FormField* {
        auto it = byId.find(id);
        return it == byId.end() ? nullptr : it->second;
    };
    for (const std::string role : kSurnameRoles) {
        const std::string generic = role + ".apellidos";
        const std::string first = role + ".apellido1";
        const std::string second = role + ".apellido2";

        std::vector<std::pair<int, const FormField*>> surnames;
        for (const auto& [id, label] : labels) {
            if (label.label != generic) continue;
            if (const FormField* field = fieldOf(id)) surnames.emplace_back(id, field);
        }
        std::stable_sort(surnames.begin(), surnames.end(), [](const auto& a, const auto& b) {
            const FormField& fa = *a.second;
            const FormField& fb = *b.second;
            if (fa.pageIndex != fb.pageIndex) return fa.pageIndex < fb.pageIndex;
            if (fa.rect.minY() != fb.rect.minY()) return fa.rect.minY() > fb.rect.minY();
            return fa.rect.minX() < fb.rect.minX();
        });
        for (std::size_t i = 0; i + 1 < surnames.size(); i += 2) {
            const FormField& a = *surnames[i].second;
            const FormField& b = *surnames[i + 1].second;
            if (a.pageIndex == b.pageIndex && std::fabs(a.rect.minY() - b.rect.minY()) <= kSurnameLine) {
                labels[surnames[i].first].label = first;
                labels[surnames[i + 1].first].label = second;
            }
        }

        // Bottom edges of the split surnames, page by page, sorted for a range look-up.
        std::map<int, std::vector<double>> split;
        for (const auto& [id, label] : labels) {
            if (label.label != first && label.label != second) continue;
            if (const FormField* field = fieldOf(id)) split[field->pageIndex].push_back(field->rect.minY());
        }
        if (split.empty()) continue;
        for (auto& [page, edges] : split) std::sort(edges.begin(), edges.end());
        const std::string fullName = role + ".nombre_completo";
        for (auto& [id, label] : labels) {
            if (label.label != fullName) continue;
            const FormField* field = fieldOf(id);
            if (!field) continue;
            auto page = split.find(field->pageIndex);
            if (page == split.end()) continue;
            const double y = field->rect.minY();
            auto near = std::lower_bound(page->second.begin(), page->second.end(), y - kNameNearSurname);
            if (near != page->second.end() && *near <= y + kNameNearSurname) label.label = role + ".nombre";
        }
    }
}
