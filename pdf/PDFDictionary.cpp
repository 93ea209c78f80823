#include "pdf/PDFObject.h"

PDFDictionary::PDFDictionary() = default;
PDFDictionary::~PDFDictionary() = default;

PDFDictionary::PDFDictionary(std::initializer_list<std::pair<std::string, PDFObject>> pairs) {
    for (const auto& [key, value] : pairs) set(key, value);
}

PDFDictionary::PDFDictionary(const std::vector<std::pair<std::string, PDFObject>>& pairs) {
    for (const auto& [key, value] : pairs) set(key, value);
}

PDFDictionary::PDFDictionary(const PDFDictionary& other) : entries_(other.entries_) {
    if (other.index_) index_ = std::make_unique<std::unordered_map<std::string, std::size_t>>(*other.index_);
}

PDFDictionary::PDFDictionary(PDFDictionary&& other) noexcept = default;

PDFDictionary& PDFDictionary::operator=(const PDFDictionary& other) {
    if (this != &other) {
        PDFDictionary copy(other);
        *this = std::move(copy);
    }
    return *this;
}

PDFDictionary& PDFDictionary::operator=(PDFDictionary&& other) noexcept = default;

std::size_t PDFDictionary::indexOf(std::string_view key) const {
    if (index_) {
        // Heterogeneous lookup is C++20 only with a transparent hash; build the key once.
        auto it = index_->find(std::string(key));
        return it == index_->end() ? npos : it->second;
    }
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].key == key) return i;
    return npos;
}

void PDFDictionary::rebuildIndex() {
    if (entries_.size() <= kIndexThreshold) {
        index_.reset();
        return;
    }
    if (!index_) index_ = std::make_unique<std::unordered_map<std::string, std::size_t>>();
    index_->clear();
    index_->reserve(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i) index_->emplace(entries_[i].key, i);
}

bool PDFDictionary::contains(std::string_view key) const { return indexOf(key) != npos; }

const PDFObject* PDFDictionary::get(std::string_view key) const {
    const std::size_t i = indexOf(key);
    return i == npos ? nullptr : &entries_[i].value;
}

PDFObject* PDFDictionary::get(std::string_view key) {
    const std::size_t i = indexOf(key);
    return i == npos ? nullptr : &entries_[i].value;
}

void PDFDictionary::set(std::string key, PDFObject value) {
    const std::size_t i = indexOf(key);
    if (i != npos) {
        entries_[i].value = std::move(value);
        return;
    }
    if (index_) index_->emplace(key, entries_.size());
    entries_.push_back(Entry{std::move(key), std::move(value)});
    if (!index_ && entries_.size() > kIndexThreshold) rebuildIndex();
}

void PDFDictionary::remove(std::string_view key) {
    const std::size_t i = indexOf(key);
    if (i == npos) return;
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
    if (index_) rebuildIndex();
}

std::vector<std::string> PDFDictionary::keys() const {
    std::vector<std::string> out;
    out.reserve(entries_.size());
    for (const auto& entry : entries_) out.push_back(entry.key);
    return out;
}

std::vector<std::pair<std::string, PDFObject>> PDFDictionary::entries() const {
    std::vector<std::pair<std::string, PDFObject>> out;
    out.reserve(entries_.size());
    for (const auto& entry : entries_) out.emplace_back(entry.key, entry.value);
    return out;
}

bool PDFDictionary::operator==(const PDFDictionary& other) const { return entries_ == other.entries_; }
