#include "panels/inspector/PLRPropertyViewController.h"

#include "canvas/interaction/PLRLayoutBlockInteractionHandler.h"
#include "canvas/interaction/PLRLayoutDocumentView.h"
#include "canvas/interaction/PLRLayoutInteractionView.h"
#include "layout/text/PLRRichText.h"
#include "controls/PLRColorWell.h"
#include "controls/PLRPopupButton.h"
#include "layout/base/PLRLayoutManager.h"
#include "layout/block_draw_handlers/PLRBlockDrawHandler_Text.h"
#include "layout/views/PLRBlockView.h"
#include "layout/views/PLRLayoutViewProxy.h"
#include "panels/inspector/PLRPropertyPageSupport.h"
#include "platform/Log.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

using namespace platform::ui;
using plr::insp::caption;
using plr::insp::pageContent;
using plr::insp::row;
using plr::insp::scrolled;
using namespace PLRPropertyPageSupport;

QWidget* PLRPropertyViewController::buildTextPage()
{
    QVBoxLayout* column = nullptr;
    QWidget* content = pageContent(&column);
    column->addWidget(caption(QStringLiteral("Text"), content, true));
    m_textStylePopUpButton = plr::insp::popupButton(content, {{QStringLiteral("Header 1"), 0}, {QStringLiteral("Header 2"), 1},
                                                 {QStringLiteral("Header 3"), 2}, {QStringLiteral("Header 4"), 3},
                                                 {QStringLiteral("Header 5"), 4}, {QStringLiteral("Paragraph"), 5}});
    m_textStylePopUpButton->setIdentifier(QStringLiteral("textStylePopUpButton"));
    m_textStylePopUpButton->setTarget(this);
    m_textStylePopUpButton->setAction([this](Control*) { setTextStyle(); });
    column->addLayout(row(QStringLiteral("Style"), m_textStylePopUpButton, content));
    m_textAlignmentSegmentControl = new plr::insp::SegmentedControl(
        {QStringLiteral("Left"), QStringLiteral("Centre"), QStringLiteral("Right"), QStringLiteral("Justify")}, content);
    m_textAlignmentSegmentControl->setTarget(this);
    m_textAlignmentSegmentControl->setAction([this](Control*) { setTextAlignment(); });
    column->addWidget(caption(QStringLiteral("Alignment"), content));
    column->addWidget(m_textAlignmentSegmentControl);
    m_textWidthSegmentControl = new plr::insp::SegmentedControl(
        {QStringLiteral("30%"), QStringLiteral("50%"), QStringLiteral("70%"), QStringLiteral("100%"), QStringLiteral("Fit")}, content);
    m_textWidthSegmentControl->setTarget(this);
    m_textWidthSegmentControl->setAction([this](Control*) { setTextWidth(); });
    column->addWidget(caption(QStringLiteral("Width"), content));
    column->addWidget(m_textWidthSegmentControl);
    m_textColourWell = new PLRColorWell(content);
    m_textColourWell->setIdentifier(QStringLiteral("textColourWell"));
    m_textColourWell->setFixedSize(44, 22);
    // It shows the colour text blocks are drawn in.
    const QColor ink = PLRBlockDrawHandler_Text::textColour();
    m_textColourWell->setColor(Color(ink.redF(), ink.greenF(), ink.blueF()));
    m_textColourWell->setTarget(this);
    m_textColourWell->setAction([this](Control*) { setTextColour(); });
    column->addLayout(row(QStringLiteral("Colour"), m_textColourWell, content));
    auto* emphasis = new QHBoxLayout;
    emphasis->setSpacing(6);
    m_textBoldButton = new plr::insp::StateButton(QStringLiteral("B"), content);
    m_textBoldButton->setTarget(this);
    m_textBoldButton->setAction([this](Control*) { setTextBold(); });
    m_textItalicButton = new plr::insp::StateButton(QStringLiteral("I"), content);
    m_textItalicButton->setTarget(this);
    m_textItalicButton->setAction([this](Control*) { setTextItalic(); });
    m_textLinkButton = new plr::insp::StateButton(QStringLiteral("Link"), content);
    m_textLinkButton->setFixedSize(44, 24);
    m_textLinkButton->setTarget(this);
    m_textLinkButton->setAction([this](Control*) { setTextLink(); });
    emphasis->addWidget(m_textBoldButton);
    emphasis->addWidget(m_textItalicButton);
    emphasis->addWidget(m_textLinkButton);
    emphasis->addStretch(1);
    column->addWidget(caption(QStringLiteral("Selected text"), content));
    column->addLayout(emphasis);
    column->addStretch(1);
    return scrolled(content);
}

// ---------------------------------------------------------------- text page

PLRLayoutBlockInteractionHandler_Text* PLRPropertyViewController::editHandler() const
{
    if (!m_layoutManager)
        return nullptr;
    PLRLayoutViewProxy* live = m_layoutManager->liveLayoutViewProxy();
    PLRBlockView* blockView = live ? live->currentEditBlockView() : nullptr;
    return blockView ? dynamic_cast<PLRLayoutBlockInteractionHandler_Text*>(blockView->interactionHandler()) : nullptr;
}

QList<PLRBlock*> PLRPropertyViewController::textTargets() const
{
    if (!m_layoutManager)
        return {};
    if (PLRBlock* edit = m_layoutManager->currentEditBlock())
        return {edit};
    return m_layoutManager->currentSelectedBlocks();
}

void PLRPropertyViewController::ensureTextTab(const QList<PLRBlock*>& blocks)
{
    if (blocks.size() != 1 || !m_layoutManager)
        return;
    PLRBlock* block = blocks.first();
    if (PLRLayoutViewProxy* live = m_layoutManager->liveLayoutViewProxy())
        if (PLRBlockView* blockView = live->blockViewForBlock(block))
            if (auto* handler = dynamic_cast<PLRLayoutBlockInteractionHandler_Text*>(blockView->interactionHandler()))
                handler->setTextViewDelegate(this);
    const qint64 style = block->text().style();
    for (int i = 0; i < m_textStylePopUpButton->numberOfItems(); ++i)
        m_textStylePopUpButton->setItemState(i, m_textStylePopUpButton->itemTag(i) == style);
    m_textStylePopUpButton->selectItemWithTag(style);
    const PLRPosition& position = block->text().position();
    if (position.alignment() < 4)
        m_textAlignmentSegmentControl->setSelectedSegment(int(position.alignment()));
    for (int i = 0; i < 4; ++i) {
        if (float(PLRLayoutManager::widthValueForTextWidth(i)) == position.width()) {
            m_textWidthSegmentControl->setSelectedSegment(i);
            break;
        }
    }
}

void PLRPropertyViewController::setTextStyle()
{
    const qint64 tag = m_textStylePopUpButton->selectedTag();
    if (!PLRBlock_Text::TextStyle_IsValid(int(tag)))
        return;
    const QList<PLRBlock*> targets = textTargets();
    for (PLRBlock* block : targets)
        if (isKind(block, plr::kBlockKindText))
            block->mutable_text()->set_style(PLRBlock_Text::TextStyle(tag));
    ensureTextTab(targets);
    if (m_layoutManager)
        m_layoutManager->announceChange();
}

void PLRPropertyViewController::setTextAlignment()
{
    const int segment = m_textAlignmentSegmentControl->selectedSegment();
    if (!PLRPosition::Alignment_IsValid(segment))
        return;
    for (PLRBlock* block : textTargets())
        if (isKind(block, plr::kBlockKindText))
            block->mutable_text()->mutable_position()->set_alignment(PLRPosition::Alignment(segment));
    if (m_layoutManager)
        m_layoutManager->announceChange();
}

void PLRPropertyViewController::setTextWidth()
{
    const int segment = m_textWidthSegmentControl->selectedSegment();
    const float width = float(PLRLayoutManager::widthValueForTextWidth(segment));
    for (PLRBlock* block : textTargets())
        if (isKind(block, plr::kBlockKindText))
            block->mutable_text()->mutable_position()->set_width(width);
    if (m_layoutManager)
        m_layoutManager->announceChange();
}

void PLRPropertyViewController::setTextBold()
{
    if (auto* handler = editHandler())
        handler->toggleCurrentSelectionBold();
}

void PLRPropertyViewController::setTextItalic()
{
    if (auto* handler = editHandler())
        handler->toggleCurrentSelectionItalic();
}

void PLRPropertyViewController::setTextLink()
{
    if (auto* handler = editHandler())
        handler->toggleCurrentSelectionLink();
}

void PLRPropertyViewController::openTextColour()
{
    view();
    m_textColourWell->activate(false);
}

void PLRPropertyViewController::setTextColour()
{
}

void PLRPropertyViewController::selectionForEditor(PLRRichTextEditor*, const PLRTextRange&, bool isBold, bool isItalic, bool,
                                                   bool isLinked, const QColor&, const QColor&)
{
    if (!isViewLoaded())
        return;
    m_textBoldButton->setState(isBold);
    m_textItalicButton->setState(isItalic);
    m_textLinkButton->setState(isLinked);
}

void PLRPropertyViewController::richTextEditorChangeAboutToOccurOfType(PLRRichTextEditor*, qint64 changeType)
{
    PLR_LOG_DEBUG(QStringLiteral("User just edited the RTE by performing this operation: %1")
                      .arg(PLRRichTextEditor::convertPreviewChangeTypeToString(changeType, true)));
}
