#pragma once

// Names and small helpers shared by the canvas and those who talk to it (the gallery, the
// inspector's block-properties page).

#include "platform-ui/UINotifications.h"
#include "store/model/PLRLayoutDocument.h"

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

// The drag-and-drop formats of blocks: new text, spacer and download-button blocks dragged from
// the title bar's add-block popover, and blocks of the layout moved on the canvas.
//
// A new block's format says which kind it is; its data is the kind's name ("text", "blank",
// "downloadbutton"), and the canvas reads only the format.
//
// Moved blocks: format "com.pellora.block.ref"; UTF-8 text whose first line is the token of the
// drag (the canvas that started the drag makes it, so it takes back only its own drags and never
// another program's or an earlier drag's data), then one block `id` per line.
namespace PLRBlockPasteboard {

inline constexpr const char* kTextType = "com.pellora.text.ref";
inline constexpr const char* kBlankType = "com.pellora.blank.ref";
inline constexpr const char* kDownloadButtonType = "com.pellora.downloadbutton.ref";
inline constexpr const char* kBlockType = "com.pellora.block.ref";
// At most this many block identifiers are read from one drag.
inline constexpr qsizetype kMaximumBlocks = 10000;

// New mime data asking for a new block of the kind (plr::kBlockKindText, kBlockKindBlank or
// kBlockKindDownloadButton); null for any other kind.
QMimeData* mimeDataForNewBlock(int kind);
// The new block's kind the data asks for, or plr::kBlockKindNone.
int newBlockKindFromMimeData(const QMimeData* mimeData);

struct BlockReferences {
    QString token;
    QStringList identifiers;
};
QMimeData* mimeDataForBlocks(const QString& token, const QStringList& blockIdentifiers);
bool hasBlockReferences(const QMimeData* mimeData);
// The token and the identifiers (in order, each once); empty when the data is not of the format.
BlockReferences blockReferencesFromMimeData(const QMimeData* mimeData);

} // namespace PLRBlockPasteboard

namespace plr::canvas {

// A QVariant carrying a block, for the "item" of kPLR_BLOCK_WAS_SELECTED.
inline QVariant blockVariant(PLRBlock* block) { return QVariant::fromValue(block); }

} // namespace plr::canvas
