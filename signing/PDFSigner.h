#pragma once
// Signs a PDF with a PAdES signature (ETSI.CAdES.detached) appended as one incremental update:
// signature field and widget, optional appearance, signature dictionary with placeholders, byte
// range, and the CMS signature written into the placeholder.
//
//   PDFSigner signer(SigningIdentity(sha1, keychain), certificate.name);
//   std::string signedPDF = signer.sign(std::move(pdf), PDFSigner::Placement::invisible());
//   signer.signFile(input, output, placement);   // the same bytes, file to file, nothing copied

#include "pdf/PDFFile.h"
#include "pdf/PDFObject.h"
#include "pdf/PDFRef.h"
#include "pdf/PDFUpdate.h"
#include "pages/Geometry.h"
#include "signing/RasterImage.h"
#include "signing/SigningIdentity.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>

class PDFSecurity;
namespace Digest {
class SHA256;
}
namespace FileData {
class Mapping;
}

struct PDFSigner {
    // What a render function returns: the bytes of a PDF whose first page is the picture (drawn
    // from (0, 0) at the requested size), or a raster picture stretched to the box.
    struct Appearance {
        struct PDF {
            std::string data;
        };
        std::variant<PDF, RasterImage> value;

        static Appearance pdf(std::string data) { return {PDF{std::move(data)}}; }
        static Appearance image(RasterImage image) { return {std::move(image)}; }
    };
    // Draws the visible signature for a box of the given size; nothing means no appearance.
    using Render = std::function<std::optional<Appearance>(Size)>;

    // Where the signature goes.
    struct Placement {
        struct Field {
            std::string name;  // fully qualified: partial names joined by "."
        };
        struct Area {
            int pageIndex = 0;  // 0-based position in PDFFile::pageRefs()
            Rect rect;          // page space, points
        };
        std::variant<Field, Area> value;

        static Placement field(std::string name) { return {Field{std::move(name)}}; }
        static Placement area(int pageIndex, Rect rect) { return {Area{pageIndex, rect}}; }
        // A widget with the rectangle [0 0 0 0] on the first page.
        static Placement invisible() { return area(0, Rect{}); }
    };

    // A refusal or failure of the signer; what() is the Spanish sentence shown to the user.
    class Failure : public std::runtime_error {
    public:
        enum class Kind { fieldNotFound, signatureTooLarge, restricted, certified, pageNotFound };
        static Failure fieldNotFound(const std::string& name);
        static Failure signatureTooLarge(std::int64_t size);
        static Failure restricted();
        static Failure certified();
        static Failure pageNotFound();
        Kind kind() const { return kind_; }
        const std::string& field() const { return field_; }  // of fieldNotFound
        std::int64_t size() const { return size_; }          // of signatureTooLarge

    private:
        Failure(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
        Kind kind_;
        std::string field_;
        std::int64_t size_ = 0;
    };

    // Bytes reserved for the DER signature (written as twice as many hexadecimal digits).
    static constexpr std::int64_t reservedBytes = 24000;
    // The byte range's numbers are written with at most ten digits.
    static constexpr std::int64_t maxFileSize = 9999999999;

    PDFSigner(SigningIdentity identity, std::string signerName,
              std::chrono::system_clock::time_point date = std::chrono::system_clock::now(),
              Render appearance = {})
        : identity(std::move(identity)),
          signerName(std::move(signerName)),
          date(date),
          appearance(std::move(appearance)) {}

    SigningIdentity identity;
    std::string signerName;  // written into /Name
    std::chrono::system_clock::time_point date;  // written into /M
    Render appearance;       // empty: no appearance stream

    // The signed file. Throws Failure, PDFError, PDFSecurity::Failure and the identity's errors.
    std::string sign(std::string pdf, const Placement& placement) const;

    // Signs the file at `input` into `output` (an atomic write) without holding either whole in
    // memory: the input is mapped, copied and hashed piece by piece straight into the output, and
    // the update follows. The output is byte for byte what sign() gives for the same bytes.
    // Throws as sign(), the file errors of FileData::map and AtomicFile::write, and a
    // std::runtime_error when the input changes on disk while it is read; `output` is then left
    // as it was.
    void signFile(const std::filesystem::path& input, const std::filesystem::path& output,
                  const Placement& placement) const;
    // The same over an input already mapped.
    void signFile(const std::shared_ptr<const FileData::Mapping>& input,
                  const std::filesystem::path& output, const Placement& placement) const;

    // Appearance operations, also used by the signature copies and the form filler.

    // What the form XObject's content stream holds: the rendered content as it is, or (for the
    // value of a text field) that content marked as the field's variable text,
    // "/Tx BMC\n" content "\nEMC".
    enum class AppearanceContent { asRendered, textField };

    // The normal-appearance form XObject for a rectangle (page space) on a page, turned with the
    // page's /Rotate; nothing when the rectangle is 1 point or less wide or high or `render`
    // gives nothing (then nothing is added to the update).
    static std::optional<PDFRef> addAppearance(
        const Rect& rect, std::optional<PDFRef> page, PDFFile& file, PDFUpdate& update,
        const Render& render, AppearanceContent marking = AppearanceContent::asRendered);
    // The page's /Rotate (inherited; a real truncated) reduced into 0..359; 0 without a page or
    // without a numeric /Rotate.
    static int pageRotation(PDFFile& file, std::optional<PDFRef> page);
    // The decoded content of the first page of a PDF and a copy of its resources inside the
    // update. Throws PDFError ("La apariencia no tiene página") and the opening/filter errors.
    static std::pair<std::string, PDFObject> importPage(std::string pdf, PDFUpdate& update);
    // An annotation's /Rect (a direct array of exactly four numbers) as a rectangle.
    static std::optional<Rect> rect(const PDFDictionary& annotation);

    // The signature dictionary's body with the byte-range and /Contents placeholders.
    std::string signatureDictionary(PDFRef ref, const PDFSecurity* security) const;
    // Fills the byte range and the signature into the written bytes, in place; `from` is the
    // offset of the signature dictionary's object.
    void embedSignature(std::string& bytes, std::int64_t from) const;
    // The same into the part of the file that starts at offset `start` and runs to its end;
    // `prefix` has been fed the file's bytes before `start`.
    void embedSignature(std::string& tail, std::int64_t start, std::int64_t from,
                        Digest::SHA256& prefix) const;

    // The /M text for a time in the system's time zone: D:YYYYMMDDHHmmSS+HH'mm'.
    static std::string pdfDate(std::chrono::system_clock::time_point time);

private:
    // Everything but the signature itself: the update with its placeholders, written as the whole
    // new file (`whole`) or as the update alone; `signatureRef` receives the signature
    // dictionary's reference. `map`: the map `file` reads, whose pages a long walk lets go.
    PDFUpdate::Result buildUpdate(PDFFile& file, const Placement& placement, bool whole,
                                  PDFRef& signatureRef,
                                  const FileData::Mapping* map = nullptr) const;
};
