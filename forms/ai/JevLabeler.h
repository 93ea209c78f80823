#pragma once
// The AI labeller. Its static members are the switch, the stored key and the key check that the
// settings screens use; a JevLabeler value carries one key and labels a form with it: the units
// are cut into batches of at most ten per page, each batch is one decisions request to the
// service, the answers are merged and the generic surname labels are split.
//
// Nothing here throws to its caller: a failure of the service shows only in the AI call log.

#include <cstddef>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "forms/ai/AIPrivacyMask.h"
#include "forms/ai/AISettings.h"
#include "forms/labels/AILabeler.h"
#include "forms/labels/Catalogue.h"
#include "forms/labels/FieldLabel.h"
#include "forms/reader/FormUnit.h"
#include "profile/SavedFact.h"

class JevLabeler {
public:
    // The model of every decisions request.
    static constexpr std::string_view model = "typesafe/jev-1.13";
    // The stored key's secret item.
    static constexpr std::string_view keyService = "openrouter-tindra";
    static constexpr std::string_view keyLabel = "Tindra: clave de OpenRouter";
    // The defaults key of the switch.
    static constexpr std::string_view switchKey = "formsAI";
    // The service's paths.
    static constexpr std::string_view decisionsPath = "/api/alpha/decisions";
    static constexpr std::string_view keyCheckPath = "/api/v1/key";
    // At most this many units of one page go into one request.
    static constexpr std::size_t batchSize = 10;
    // At most this many units are described around a batch; the request stays small.
    static constexpr std::size_t maxContextUnits = 80;
    // Units within this many points above or below the batch are described.
    static constexpr double contextBand = 160;
    // Internal names are cut to their last characters.
    static constexpr std::size_t maxNameCharacters = 60;

    // ---- The switch and the key -------------------------------------------------------------

    // The switch "formsAI": a stored JSON Boolean as it is; absent or anything else reads on.
    static bool enabled(const AISettings& settings);
    // Stores the switch; false when the defaults file could not be written (the running process
    // still sees the new value).
    static bool setEnabled(bool on, const AISettings& settings);
    // Whether the stored key's item exists, looked up without reading it or unlocking anything
    // (its content is not judged; a locked keyring still has it).
    static bool hasKey(const AISettings& settings);
    // (enabled and hasKey) or a non-empty "OPENROUTER_API_KEY".
    static bool isOn(const AISettings& settings);
    // The key labelling uses: a non-empty "OPENROUTER_API_KEY" as it stands; else, when the
    // switch is on, the stored key trimmed of white space at both ends, when anything remains.
    static std::optional<std::string> key(const AISettings& settings);
    // Stores the key (replacing the old one in place); false, keeping the old key, on failure.
    static bool save(const std::string& key, const AISettings& settings);
    // Deletes the stored key; a failure goes unreported.
    static void removeKey(const AISettings& settings);
    // Asks the service whether it accepts the key: true accepted (200), false refused (401,
    // 403), nothing unknown (no answer, time-out, a stop request, any other status, a key that
    // cannot go into a header, a base address that may not be used). Blocks: run it on a worker
    // thread.
    static std::optional<bool> check(const std::string& key, const AISettings& settings,
                                     std::stop_token stop = {});

    // ---- Labelling --------------------------------------------------------------------------

    // The user's saved facts, read when a form is about to be labelled.
    using Facts = std::function<std::vector<SavedFact>()>;

    // The AI side of FieldLabeler::labels: `key` is JevLabeler::key(settings), `labels` labels
    // through JevLabeler{key, settings, mask} where the mask holds the values of `facts` (read
    // once per form; none when it is empty or fails). The settings are copied into it.
    static AILabeler labeler(const AISettings& settings, Facts facts = {});

    // `mask` masks the personal data of every text that goes into a request and of the form's
    // name in the call log; the default one masks the shapes of personal data alone.
    JevLabeler(std::string key, AISettings settings, AIPrivacyMask mask = {});

    // The key this labeller sends.
    const std::string& apiKey() const { return apiKey_; }
    const AISettings& settings() const { return settings_; }
    const AIPrivacyMask& mask() const { return mask_; }

    // The form's AI labels: every batch asked at once (at most settings.maxInFlight requests in
    // flight), the answers merged in the order they come back with the first label of a field
    // kept, then `surnames`. Empty when no batch brought a label. Blocks; a stop request ends the
    // transfers within a second and they count as failed batches.
    Labels labels(const std::vector<FormUnit>& units, const std::string& formName,
                  std::stop_token stop = {}) const;

    // The batches of the units: pages ascending, on each page the units in input order, cut into
    // runs of at most `batchSize`.
    static std::vector<std::vector<FormUnit>> batches(const std::vector<FormUnit>& units);

    // Splits generic surname labels ("titular.apellidos") of fields on one line into first and
    // second surname, and narrows a full name to the given name next to the surnames.
    static void surnames(const std::vector<FormUnit>& units, Labels& labels);

    // One batch's labels: the decisions request for `batch` (with `all` the form's units for the
    // context) sent through `post`, the answer decoded unit by unit. Empty when nothing came back.
    Labels ask(const std::vector<FormUnit>& batch, const std::vector<FormUnit>& all,
               const std::string& formName, const Catalogue::Table& who,
               std::stop_token stop = {}) const;

    // The body of the decisions request for one batch, every text of the form (its name, the
    // fields' names, tool tips and the texts around them) passed through `mask`.
    static nlohmann::json request(const std::vector<FormUnit>& batch,
                                  const std::vector<FormUnit>& all, const std::string& formName,
                                  const Catalogue::Table& who, const AIPrivacyMask& mask = {});

    // One decisions request: sends `body`, logs one AICall (the form's name masked) whatever
    // happens, and gives the answer's "answers" object when the service answered 200 with a JSON
    // object holding one.
    std::optional<nlohmann::json> post(const nlohmann::json& body, const std::string& formName,
                                       int fields, std::stop_token stop = {}) const;

private:
    std::string apiKey_;
    AISettings settings_;
    AIPrivacyMask mask_;
};
