// The commissioning certificate as one printable A4 page, drawn with Qt's own
// PDF writer. Needs a QGuiApplication (fonts); no widgets.
#pragma once

#include <QString>
#include <string>

#include "profile/certificate.h"

// The verdict the page leads with: "Verified: every setting read back as
// wanted", or "NOT verified: ..." saying how many settings differ. A
// certificate whose rows show a mismatch is never called verified.
std::string CertificateVerdict(const Certificate& certificate);

// Writes the page to `path`. On failure returns false and says why in `error`.
bool WriteCertificatePdf(const Certificate& certificate, const QString& path, QString* error);
