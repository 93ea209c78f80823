#pragma once
// The hand-over link of the file manager's "Firmar con Tindra" entry:
//
//   tindra://firmar?clave=KEY&ruta=/home/ana/Documentos/solicitud.pdf&ruta=/home/ana/anexo%20I.pdf
//
// KEY is a random UUID in upper case that the application makes once and keeps in its defaults
// under "pellonKey"; it shows that a link came from our own helper, since any web page can open a
// tindra:// link. A link whose key is missing or wrong is ignored as a whole.

#include <QString>

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class Defaults;

namespace PellonRequest {

inline constexpr char keyName[] = "pellonKey";
inline constexpr char wrongKeyLine[] = "Enlace tindra:// sin la clave correcta: ignorado";

using LogLine = std::function<void(std::string_view)>;

// A key as made by prepareKey: 36 characters, upper-case hexadecimal digits in groups of 8, 4, 4,
// 4 and 12 joined by hyphens.
bool isValidKey(const std::string& key);

// The stored key; a missing one, or one that is not a valid key (an empty text, say), is replaced
// by a new random key. Returns the key in use. Throws std::runtime_error when it cannot be stored.
std::string prepareKey(Defaults& defaults);

// The files a hand-over link carries: empty unless the scheme is exactly "tindra" and the host
// exactly "firmar" (tested on the raw text), the link has a query, and its first "clave" equals
// the stored key. Then every "ruta" item, wherever it stands, in order; only absolute paths of
// existing regular files are kept. A missing or wrong key writes `wrongKeyLine` to the log.
std::vector<std::filesystem::path> files(const QString& link, const Defaults& defaults,
                                         const LogLine& log);

}  // namespace PellonRequest
