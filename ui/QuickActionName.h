#pragma once
// The title of the file manager's menu item that hands the selected PDFs to the application.

#include <QString>

namespace QuickAction {

inline const QString name = QStringLiteral("Firmar con Tindra");

}  // namespace QuickAction
