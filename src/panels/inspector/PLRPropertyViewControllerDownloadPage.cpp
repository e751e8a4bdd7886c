#include "panels/inspector/PLRPropertyViewController.h"

#include "controls/PLRPopupButton.h"
#include "layout/base/PLRLayoutManager.h"
#include "panels/inspector/PLRPropertyPageSupport.h"

#include <QLineEdit>
#include <QVBoxLayout>

using namespace platform::ui;
using plr::insp::caption;
using plr::insp::editableField;
using plr::insp::pageContent;
using plr::insp::row;
using plr::insp::scrolled;
using namespace PLRPropertyPageSupport;

namespace {

QList<QPair<QString, qint64>> downloadColours()
{
    return {{QStringLiteral("Black"), 0}, {QStringLiteral("Grey"), 1}, {QStringLiteral("White"), 2}, {QStringLiteral("None"), 3}};
}

} // namespace

QWidget* PLRPropertyViewController::buildDownloadPage()
{
    QVBoxLayout* column = nullptr;
    QWidget* content = pageContent(&column);
    column->addWidget(caption(QStringLiteral("Download button"), content, true));
    m_downloadTitleTextField = editableField(content);
    connect(m_downloadTitleTextField->editor(), &QLineEdit::textEdited, this, [this] { setDownloadTitle(); });
    column->addLayout(row(QStringLiteral("Title"), m_downloadTitleTextField, content));
    auto add = [&](QPointer<PLRPopupButton>& popup, const QString& title, const QList<QPair<QString, qint64>>& items,
                   void (PLRPropertyViewController::*action)()) {
        popup = plr::insp::popupButton(content, items);
        popup->setTarget(this);
        popup->setAction([this, action](Control*) { (this->*action)(); });
        column->addLayout(row(title, popup, content));
    };
    add(m_downloadFillPopUpButton, QStringLiteral("Fill"), downloadColours(), &PLRPropertyViewController::setDownloadFill);
    add(m_downloadHoverFillPopUpButton, QStringLiteral("Hover fill"), downloadColours(), &PLRPropertyViewController::setDownloadHoverFill);
    add(m_downloadLinePopUpButton, QStringLiteral("Line"), downloadColours(), &PLRPropertyViewController::setDownloadLine);
    add(m_downloadHoverLinePopUpButton, QStringLiteral("Hover line"), downloadColours(), &PLRPropertyViewController::setDownloadHoverLine);
    add(m_downloadStylePopUpButton, QStringLiteral("Style"),
        {{QStringLiteral("Box"), 0}, {QStringLiteral("Rounded"), 1}, {QStringLiteral("Pill"), 2}},
        &PLRPropertyViewController::setDownloadStyle);
    add(m_downloadSizePopUpButton, QStringLiteral("Size"),
        {{QStringLiteral("Small"), 0}, {QStringLiteral("Medium"), 1}, {QStringLiteral("Large"), 2}},
        &PLRPropertyViewController::setDownloadSize);
    column->addStretch(1);
    return scrolled(content);
}

// ---------------------------------------------------------------- download-button page

void PLRPropertyViewController::ensureDownloadTab(const QList<PLRBlock*>& blocks)
{
    if (blocks.size() != 1)
        return;
    const PLRBlock_Download_Button& button = blocks.first()->download_button();
    m_downloadTitleTextField->setStringValue(QString::fromStdString(button.title()));
    m_downloadFillPopUpButton->selectItemWithTag(button.fill_colour());
    m_downloadHoverFillPopUpButton->selectItemWithTag(button.hover_fill_colour());
    m_downloadLinePopUpButton->selectItemWithTag(button.line_colour());
    m_downloadHoverLinePopUpButton->selectItemWithTag(button.hover_line_colour());
    m_downloadStylePopUpButton->selectItemWithTag(button.style());
    m_downloadSizePopUpButton->selectItemWithTag(button.size());
}

void PLRPropertyViewController::forEachSelectedDownloadButton(const std::function<void(PLRBlock_Download_Button*)>& change)
{
    if (!m_layoutManager)
        return;
    for (PLRBlock* block : m_layoutManager->currentSelectedBlocks())
        if (isKind(block, plr::kBlockKindDownloadButton))
            change(block->mutable_download_button());
    m_layoutManager->announceChange();
}

void PLRPropertyViewController::setDownloadTitle()
{
    const std::string title = m_downloadTitleTextField->stringValue().toStdString();
    forEachSelectedDownloadButton([&](PLRBlock_Download_Button* button) { button->set_title(title); });
}

#define PLR_DOWNLOAD_ENUM_ACTION(name, popup, setter, Enum)                                                  \
    void PLRPropertyViewController::name()                                                                    \
    {                                                                                                         \
        const qint64 tag = popup->selectedTag();                                                              \
        if (!PLRBlock_Download_Button::Enum##_IsValid(int(tag)))                                              \
            return;                                                                                           \
        forEachSelectedDownloadButton(                                                                        \
            [&](PLRBlock_Download_Button* button) { button->setter(PLRBlock_Download_Button::Enum(tag)); }); \
    }

PLR_DOWNLOAD_ENUM_ACTION(setDownloadFill, m_downloadFillPopUpButton, set_fill_colour, DownloadColour)
PLR_DOWNLOAD_ENUM_ACTION(setDownloadHoverFill, m_downloadHoverFillPopUpButton, set_hover_fill_colour, DownloadColour)
PLR_DOWNLOAD_ENUM_ACTION(setDownloadLine, m_downloadLinePopUpButton, set_line_colour, DownloadColour)
PLR_DOWNLOAD_ENUM_ACTION(setDownloadHoverLine, m_downloadHoverLinePopUpButton, set_hover_line_colour, DownloadColour)
PLR_DOWNLOAD_ENUM_ACTION(setDownloadStyle, m_downloadStylePopUpButton, set_style, DownloadStyle)
PLR_DOWNLOAD_ENUM_ACTION(setDownloadSize, m_downloadSizePopUpButton, set_size, DownloadSize)

#undef PLR_DOWNLOAD_ENUM_ACTION
