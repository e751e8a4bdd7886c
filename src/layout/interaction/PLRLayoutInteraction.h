#pragma once

// Names and small helpers shared by the canvas and those who talk to it (the gallery, the
// inspector's block-properties page).

#include "model/PLRLayoutDocument.h"

#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariant>

class QMimeData;

// Posted (no object) to have the canvas select a block and, when "shouldScrollToItem" is true,
// scroll it into view. "item" is the block: a PLRBlock* (QVariant::fromValue), or its `id` as a
// string. A block that is not in the canvas's layout is ignored.
inline constexpr const char* kPLR_BLOCK_WAS_SELECTED = "kPLR_BLOCK_WAS_SELECTED";
inline constexpr const char* kPLR_BLOCK_WAS_SELECTED_ITEM = "item";
inline constexpr const char* kPLR_BLOCK_WAS_SELECTED_SHOULD_SCROLL = "shouldScrollToItem";

// Posted (no object, no user info) when the recycler's highlight was switched: the canvas draws
// the recycle target outline again.
inline constexpr const char* kPLR_NOTIFICATION_RECYCLE_TOGGLE_OUTLINE = "kPLR_NOTIFICATION_RECYCLE_TOGGLE_OUTLINE";

Q_DECLARE_METATYPE(PLRBlock*)

// The drag-and-drop format of photos dragged onto the canvas.
//
// Format "com.pellora.image.ref"; its data is UTF-8 text holding source image identifiers, one
// per line ("\n"; a "\r" before it and spaces around an identifier are ignored, and so are
// empty lines). A drag of several photos carries all their identifiers in this one data; the
// canvas reads them in order, each once. Anything else in the drag is not read.
namespace PLRImageReferencePasteboard {

inline constexpr const char* kType = "com.pellora.image.ref";
// At most this many identifiers are read from one drag (the rest is dropped, logged).
inline constexpr qsizetype kMaximumIdentifiers = 10000;

// New mime data carrying the identifiers (the caller owns it; a QDrag takes it over).
QMimeData* mimeDataForIdentifiers(const QStringList& identifiers);
// Adds the identifiers to existing mime data.
void writeIdentifiers(QMimeData* mimeData, const QStringList& identifiers);
// Whether the data carries the format at all.
bool hasImageReferences(const QMimeData* mimeData);
// The identifiers carried, in order, each once.
QStringList identifiersFromMimeData(const QMimeData* mimeData);
QStringList identifiersFromData(const QByteArray& data);

} // namespace PLRImageReferencePasteboard

namespace plr::canvas {

// A QVariant carrying a block, for the "item" of kPLR_BLOCK_WAS_SELECTED.
inline QVariant blockVariant(PLRBlock* block) { return QVariant::fromValue(block); }

} // namespace plr::canvas
