#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <functional>

namespace MemoryMap {
// In the order of the rows of kRadioModels.
enum class Model { VX8R, VX8DR, VX8GE };
}  // namespace MemoryMap

// One row per radio model: what tells it apart (its identity), how people and the other
// programmer name it, and the facts of its memory that differ between models or that a new
// model must state. Every list of models or identities a message gives is built from here.
struct RadioModel {
    MemoryMap::Model model;
    const char* identity;     // the first five identity bytes: "AH029"
    const char* family;       // as owners say it: "VX-8"
    const char* displayName;  // the model with its export twin: "VX-8R/E"
    const char* shortName;    // in file names and the memory map's rows: "VX-8R"
    const char* otherClass;   // the other programmer's class in its .img trailer
    const char* otherModel;   // and its model name there
    int blockCount;           // data blocks of 64 bytes in a clone
    int imageSize;            // identity, data and the checksum byte
    int secondAprsBlock;      // where the second APRS block starts (it follows the macros)
    int totalSumAt;           // where the final checksum lies
};

// The first row is the plain VX-8, the simulated radio's default.
inline constexpr RadioModel kRadioModels[] = {
    {MemoryMap::Model::VX8R, "AH029", "VX-8", "VX-8R/E", "VX-8R", "VX8Radio", "VX-8R", 1019, 65227,
     0xC178, 0xFECA},
    {MemoryMap::Model::VX8DR, "AH29D", "VX-8D", "VX-8DR/DE", "VX-8DR", "VX8DRadio", "VX-8DR", 1019,
     65227, 0xC198, 0xFECA},
    {MemoryMap::Model::VX8GE, "AH041", "VX-8G", "VX-8GR/GE", "VX-8GE", "VX8GERadio", "VX-8GE", 1019,
     65227, 0xC198, 0xFECA},
};

// The row of a model.
const RadioModel& RadioModelRow(MemoryMap::Model model);

// The row whose identity the first five bytes of `image` are; none for any other.
const RadioModel* RadioModelOf(QByteArrayView image);

// The model's five identity bytes as hexadecimal text: "4148303239".
QString IdentityHex(const RadioModel& model);

// The names owners give a model: each of its display name's twins ("VX-8R/E" gives VX-8R and
// VX-8E; the twin replaces as many letters at the end) and its short name.
QStringList ModelNames(const RadioModel& model);

// The model a name gives, compared on letters and digits without case ("vx-8 dr", "VX8DE");
// none for any other text.
const RadioModel* RadioModelNamed(const QString& name);

// Each model's text, in the order of the rows, as a sentence lists them: "A, B or C" (with
// `last` " or "), or "A, B, C" with `last` ", ".
QString ListedModels(const std::function<QString(const RadioModel&)>& text,
                     const QString& last = QStringLiteral(" or "));
