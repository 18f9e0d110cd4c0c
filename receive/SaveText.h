#pragma once

#include <QString>

namespace corvanel {

class PieceText;

// Writes the whole text to path, one byte per character, through a save
// file: on failure nothing is left half-written, and error says why (the
// system's reason, or that part of a spilled log could not be read back).
bool saveText(const PieceText &text, const QString &path, QString *error);

} // namespace corvanel
