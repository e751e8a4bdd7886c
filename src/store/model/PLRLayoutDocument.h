#pragma once

// The layout document's messages under the names the rest of the program uses, and the
// few calls on them that the generated code does not spell the same way.

#include "store/model/layout.pb.h"
#include "platform/Error.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <google/protobuf/message_lite.h>

using PLRLayout = PLR::Layout;
using PLRLayout_Pinterest = PLR::Layout_Pinterest;
using PLRLayout_Facebook = PLR::Layout_Facebook;
using PLRLayout_Animation = PLR::Layout_Animation;
using PLRSection = PLR::Section;
using PLRSection_Stacked = PLR::Section_Stacked;
using PLRSection_Mason = PLR::Section_Mason;
using PLRSection_Grid = PLR::Section_Grid;
using PLRSection_Flow = PLR::Section_Flow;
using PLRSection_Free = PLR::Section_Free;
using PLRBlock = PLR::Block;
using PLRBlock_Container = PLR::Block_Container;
using PLRBlock_Image = PLR::Block_Image;
using PLRBlock_Text = PLR::Block_Text;
using PLRBlock_Blank = PLR::Block_Blank;
using PLRBlock_Download_Button = PLR::Block_Download_Button;
using PLRColour = PLR::Colour;
using PLRPosition = PLR::Position;
using PLRInteraction = PLR::Interaction;
using PLRPadding = PLR::Padding;

namespace plr {

inline constexpr const char* kLayoutErrorDomain = "PLRLayoutErrorDomain";

// Kind codes of a block (the oneof's field numbers).
enum BlockKind : int {
    kBlockKindNone = 0,
    kBlockKindContainer = 4,
    kBlockKindImage = 5,
    kBlockKindText = 6,
    kBlockKindBlank = 7,
    kBlockKindDownloadButton = 9,
};

// The message serialised to protobuf bytes (empty bytes for an empty message).
QByteArray data(const google::protobuf::MessageLite& message);

// Replaces `message` by the one encoded in `bytes`. On failure `message` is left cleared
// and `error` says why.
bool parseFromData(google::protobuf::MessageLite* message, const QByteArray& bytes,
                   platform::Error* error = nullptr);

// A new message of type M parsed from `bytes`; `ok` tells whether the bytes were valid.
template <class M>
M messageFromData(const QByteArray& bytes, bool* ok = nullptr, platform::Error* error = nullptr)
{
    M message;
    const bool parsed = parseFromData(&message, bytes, error);
    if (ok)
        *ok = parsed;
    return message;
}

// A deep copy (the messages are values: copying copies the whole tree).
template <class M>
M copy(const M& message) { return M(message); }

// The block's kind code (4 container, 5 image, 6 text, 7 blank, 9 download button, 0 none).
inline int typeOneOfCase(const PLRBlock& block) { return static_cast<int>(block.type_case()); }

// The block's container; an empty container for blocks of other kinds.
inline const PLRBlock_Container& container(const PLRBlock& block) { return block.container(); }
inline int subBlocksArray_Count(const PLRBlock& block) { return block.container().sub_blocks_size(); }
inline int blocksArray_Count(const PLRSection& section) { return section.blocks_size(); }
inline int sectionsArray_Count(const PLRLayout& layout) { return layout.sections_size(); }

// The sections / blocks in order, as pointers into the message (valid until it changes).
QList<const PLRSection*> sectionsArray(const PLRLayout& layout);
QList<PLRSection*> sectionsArray(PLRLayout* layout);
QList<const PLRBlock*> blocksArray(const PLRSection& section);
QList<PLRBlock*> blocksArray(PLRSection* section);
QList<const PLRBlock*> subBlocksArray(const PLRBlock& block);

// Replace the sections / blocks by copies of the given ones.
void setSectionsArray(PLRLayout* layout, const QList<PLRSection>& sections);
void setBlocksArray(PLRSection* section, const QList<PLRBlock>& blocks);
void setSubBlocksArray(PLRBlock_Container* container, const QList<PLRBlock>& blocks);

// Setting a message field to none (nullptr) clears it; otherwise the field gets a copy.
void setBackgroundColour(PLRLayout* layout, const PLRColour* colour);
void setPinterestButton(PLRLayout* layout, const PLRLayout_Pinterest* pinterest);
void setFacebookButton(PLRLayout* layout, const PLRLayout_Facebook* facebook);
void setAnimation(PLRLayout* layout, const PLRLayout_Animation* animation);
void setPosition(PLRBlock_Image* image, const PLRPosition* position);
void setInteraction(PLRBlock_Image* image, const PLRInteraction* interaction);
void setPosition(PLRBlock_Text* text, const PLRPosition* position);

// Positions are equal when x, y and width are (the alignment is not compared).
bool positionsEqual(const PLRPosition& a, const PLRPosition& b);

// A new block identifier (a UUID string).
QString newBlockIdentifier();

// What a layout read from a file may hold. The views turn these numbers into pixel sizes in
// integer arithmetic, so a padding of 2^63 overflows there; and a text block is laid out whole,
// on the main thread, every time the canvas or the post's preview is drawn, so a text of tens
// of megabytes holds the application for tens of seconds. No layout made in the editor comes
// near these bounds.
inline constexpr qint64 kMaxLayoutPadding = 10000;
inline constexpr double kMaxLayoutCoordinate = 1.0e6;
inline constexpr double kMinLayoutAspectRatio = 0.01;
inline constexpr double kMaxLayoutAspectRatio = 100.0;
inline constexpr int kMaxTextBlockLength = 100000;       // characters of a text block's text
inline constexpr int kMaxTextBlockHtmlBytes = 1000000;   // beyond it the formatting is dropped

// Brings every number of the layout into range (non-finite ones to their default) and cuts
// text blocks to their bounds. Answers how many values it changed.
int boundLayout(PLRLayout* layout);

} // namespace plr
