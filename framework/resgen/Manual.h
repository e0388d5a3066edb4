// Typesets a manual written in simple HTML as an A4 PDF.
#pragma once
#include <QString>

namespace resgen {

// pageLabel is the footer, e.g. "Page %1 of %2". The HTML may show the product
// picture with <img src="product-picture">. On failure answers false and sets
// *error.
bool WriteManual(const QString& htmlPath, const QString& pdfPath, const QString& pageLabel, QString* error);

}  // namespace resgen
