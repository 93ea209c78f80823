#pragma once
// pellon, run by the Dolphin service menu and the Nemo action "Firmar con Tindra": the arguments
// are the selected items; the PDFs among them go to the application beside it in one link
//
//   tindra://firmar?clave=KEY&ruta=/home/ana/solicitud.pdf&ruta=...
//
// where KEY is the application's "pellonKey", read only (empty when it cannot be read: the
// application then ignores the link). The link travels in the started application's environment
// variable TINDRA_LINK, never on its command line, which every local user can read.

#include <QString>
#include <QStringList>
#include <QUrl>

#include <string>

namespace PellonLink {

inline constexpr char linkVariable[] = "TINDRA_LINK";
inline constexpr char failurePrefix[] = "Tindra: no se ha podido abrir la app: ";
// Written when the selection holds no PDF: the entry is offered for every selection.
inline constexpr char noPDFLine[] = "Tindra: la selección no tiene ningún PDF; no se abre la app.";

// The items whose extension, lower-cased, is "pdf", as absolute paths (against `workingFolder`),
// in selection order. Local file: URIs count as their local paths; URIs of other schemes or
// hosts name no file here and are left out.
QStringList selectedPDFs(const QStringList& arguments, const QString& workingFolder);

// The hand-over link: scheme "tindra", host "firmar", the query items "clave" then one "ruta" per
// path, encoded as QUrlQuery encodes items (percent signs included).
QUrl link(const QString& key, const QStringList& paths);

}  // namespace PellonLink
