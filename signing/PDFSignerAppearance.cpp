// Appearance streams of signature widgets and stamps: the form XObject, the raster picture with
// its soft mask, and the import of a rendered one-page PDF.

#include "signing/PDFSigner.h"

#include "pdf/PDFError.h"
#include "pdf/PDFFilters.h"
#include "pdf/PDFSerializer.h"

#include <cmath>
#include <unordered_map>

namespace {

// Resources are copied through at most this many nested references; the rendered pages the
// application imports are a few levels deep.
constexpr int kMaxCopyDepth = 64;
// The largest raster picture turned into an image XObject (pixels).
constexpr std::size_t kMaxImagePixels = std::size_t(1) << 26;
// /Parent links followed to find inherited resources.
constexpr int kMaxInheritance = 64;

PDFObject realArray(std::initializer_list<double> values) {
    std::vector<PDFObject> elements;
    for (double value : values) elements.push_back(PDFObject::real(value));
    return PDFObject::array(std::move(elements));
}

PDFObject rotationMatrix(int rotation) {
    switch (rotation) {
    case 90: return realArray({0, 1, -1, 0, 0, 0});
    case 180: return realArray({-1, 0, 0, -1, 0, 0});
    case 270: return realArray({0, -1, 1, 0, 0, 0});
    default: return realArray({1, 0, 0, 1, 0, 0});
    }
}

// Copies objects of one file into an update of another, each source object once.
class ResourceCopier {
public:
    ResourceCopier(PDFFile& source, PDFUpdate& update) : source_(source), update_(update) {}

    PDFObject copy(const PDFObject& value, int depth = 0) {
        switch (value.kind()) {
        case PDFObject::Kind::reference: return copyReference(*value.reference(), depth);
        case PDFObject::Kind::dictionary:
            return PDFObject::dictionary(copyDictionary(*value.dictionary(), depth));
        case PDFObject::Kind::array: {
            std::vector<PDFObject> elements;
            elements.reserve(value.array()->size());
            for (const auto& element : *value.array()) elements.push_back(copy(element, depth));
            return PDFObject::array(std::move(elements));
        }
        case PDFObject::Kind::stream: {
            PDFDictionary dictionary = value.stream()->dictionary;
            dictionary.remove("Length");
            return PDFObject::stream(copyDictionary(dictionary, depth), value.stream()->data);
        }
        default: return value;
        }
    }

private:
    PDFDictionary copyDictionary(const PDFDictionary& dictionary, int depth) {
        PDFDictionary out;
        for (const auto& [key, value] : dictionary) out.set(key, copy(value, depth));
        return out;
    }

    PDFObject copyReference(PDFRef ref, int depth) {
        if (auto found = table_.find(ref.number); found != table_.end())
            return PDFObject::reference(found->second);
        if (depth >= kMaxCopyDepth) throw PDFError("La apariencia está dañada.");
        PDFRef target = update_.allocate();
        table_.emplace(ref.number, target);
        const PDFObject* loaded = source_.object(ref);
        PDFObject copied = loaded ? copy(*loaded, depth + 1) : PDFObject::null();
        update_.set(target, copied);
        return PDFObject::reference(target);
    }

    PDFFile& source_;
    PDFUpdate& update_;
    std::unordered_map<std::int64_t, PDFRef> table_;
};

// The page's /Resources as written (a reference stays a reference), inherited through /Parent.
std::optional<PDFObject> inheritedResources(PDFFile& file, PDFRef page) {
    const PDFDictionary* node = file.dictionary(file.object(page));
    for (int level = 0; node && level < kMaxInheritance; ++level) {
        if (const PDFObject* resources = node->get("Resources"); resources && !resources->isNull())
            return *resources;
        const PDFObject* parent = node->get("Parent");
        if (!parent) break;
        node = file.dictionary(parent);
    }
    return std::nullopt;
}

}  // namespace

std::optional<Rect> PDFSigner::rect(const PDFDictionary& annotation) {
    const PDFObject* value = annotation.get("Rect");
    if (!value || !value->array()) return std::nullopt;
    std::vector<double> numbers;
    for (const auto& element : *value->array())
        if (auto number = element.number()) numbers.push_back(*number);
    if (numbers.size() != 4) return std::nullopt;
    for (double number : numbers)
        if (!std::isfinite(number)) return std::nullopt;
    return Rect{std::min(numbers[0], numbers[2]), std::min(numbers[1], numbers[3]),
                std::abs(numbers[2] - numbers[0]), std::abs(numbers[3] - numbers[1])};
}

std::pair<std::string, PDFObject> PDFSigner::importPage(std::string pdf, PDFUpdate& update) {
    PDFFile source(std::move(pdf));
    auto pages = source.pageRefs();
    const PDFDictionary* page = pages.empty() ? nullptr : source.dictionary(source.object(pages[0]));
    if (!page) throw PDFError("La apariencia no tiene página");

    std::string content;
    std::vector<const PDFObject*> parts;
    if (const PDFObject* contents = page->get("Contents")) {
        const PDFObject* resolved = source.resolve(contents);
        if (resolved && resolved->array()) {
            for (const auto& element : *resolved->array()) parts.push_back(&element);
        } else {
            parts.push_back(contents);
        }
    }
    for (const PDFObject* part : parts) {
        const PDFObject* resolved = source.resolve(part);
        if (!resolved || !resolved->stream()) continue;
        content += PDFFilters::decode(resolved->stream()->data, resolved->stream()->dictionary);
        content += '\n';
    }

    PDFObject resources = PDFObject::dictionary(PDFDictionary());
    if (auto found = inheritedResources(source, pages[0])) resources = *found;
    ResourceCopier copier(source, update);
    return {std::move(content), copier.copy(resources)};
}

int PDFSigner::pageRotation(PDFFile& file, std::optional<PDFRef> page) {
    if (!page) return 0;
    const PDFObject* rotate = file.inherited("Rotate", *page);
    if (!rotate) return 0;
    auto value = rotate->integer();
    if (!value) return 0;
    std::int64_t reduced = *value % 360;
    if (reduced < 0) reduced += 360;
    return static_cast<int>(reduced);
}

std::optional<PDFRef> PDFSigner::addAppearance(const Rect& rect, std::optional<PDFRef> page,
                                               PDFFile& file, PDFUpdate& update,
                                               const Render& render, AppearanceContent marking) {
    if (!(rect.width > 1) || !(rect.height > 1) || !render) return std::nullopt;
    const int rotation = pageRotation(file, page);
    Size box{rect.width, rect.height};
    if (rotation == 90 || rotation == 270) box = Size{rect.height, rect.width};

    std::optional<Appearance> picture = render(box);
    if (!picture) return std::nullopt;

    std::string content;
    PDFObject resources;
    if (auto* pdf = std::get_if<Appearance::PDF>(&picture->value)) {
        auto imported = importPage(pdf->data, update);
        content = std::move(imported.first);
        resources = std::move(imported.second);
    } else {
        const RasterImage& image = std::get<RasterImage>(picture->value);
        if (image.isEmpty() ||
            image.rgba.size() / 4 / static_cast<std::size_t>(image.width) <
                static_cast<std::size_t>(image.height))
            return std::nullopt;
        const std::size_t pixels =
            static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
        if (pixels > kMaxImagePixels) return std::nullopt;
        std::string mask(pixels, '\0');
        std::string colour(pixels * 3, '\0');
        for (std::size_t i = 0; i < pixels; ++i) {
            const std::uint8_t* p = &image.rgba[i * 4];
            unsigned alpha = p[3];
            mask[i] = static_cast<char>(alpha);
            for (int k = 0; k < 3; ++k) {
                unsigned value = alpha == 0 ? 255u : std::min(255u, p[k] * 255u / alpha);
                colour[i * 3 + k] = static_cast<char>(value);
            }
        }
        auto imageDictionary = [&](const char* colourSpace) {
            return PDFDictionary{{"Type", PDFObject::name("XObject")},
                                 {"Subtype", PDFObject::name("Image")},
                                 {"Width", PDFObject::integer(image.width)},
                                 {"Height", PDFObject::integer(image.height)},
                                 {"ColorSpace", PDFObject::name(colourSpace)},
                                 {"BitsPerComponent", PDFObject::integer(8)},
                                 {"Filter", PDFObject::name("FlateDecode")}};
        };
        PDFRef maskRef = update.allocate();
        update.set(maskRef,
                   PDFObject::stream(imageDictionary("DeviceGray"), PDFFilters::deflate(mask)));
        PDFRef imageRef = update.allocate();
        PDFDictionary colourDictionary = imageDictionary("DeviceRGB");
        colourDictionary.set("SMask", PDFObject::reference(maskRef));
        update.set(imageRef,
                   PDFObject::stream(std::move(colourDictionary), PDFFilters::deflate(colour)));
        content = "q " + PDFSerializer::format(box.width) + " 0 0 " +
                  PDFSerializer::format(box.height) + " 0 0 cm /Im0 Do Q";
        resources = PDFObject::dictionary(PDFDictionary{
            {"XObject", PDFObject::dictionary(PDFDictionary{
                            {"Im0", PDFObject::reference(imageRef)}})}});
    }

    PDFRef form = update.allocate();
    PDFDictionary dictionary{
        {"Type", PDFObject::name("XObject")},
        {"Subtype", PDFObject::name("Form")},
        {"BBox", PDFObject::array({PDFObject::integer(0), PDFObject::integer(0),
                                   PDFObject::real(box.width), PDFObject::real(box.height)})},
        {"Matrix", rotationMatrix(rotation)},
        {"Resources", std::move(resources)},
        {"Filter", PDFObject::name("FlateDecode")}};
    if (marking == AppearanceContent::textField) content = "/Tx BMC\n" + content + "\nEMC";
    update.set(form, PDFObject::stream(std::move(dictionary), PDFFilters::deflate(content)));
    return form;
}
