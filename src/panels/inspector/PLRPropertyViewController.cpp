#include "panels/inspector/PLRPropertyViewController.h"

#include "services/analytic/PLRAnalyticEvent.h"
#include "services/analytic/PLRAnalyticManager.h"
#include "layout/base/PLRLayoutManager.h"
#include "layout/base/PLRLayoutTree.h"
#include "controls/PLRColorWell.h"
#include "controls/PLRPopupButton.h"
#include "controls/PLRSmallViews.h"
#include "controls/PLRSwitchButton.h"
#include "panels/inspector/PLRInspectorPanels.h"
#include "canvas/interaction/PLRLayoutDocumentView.h"
#include "canvas/interaction/PLRLayoutInteractionView.h"
#include "canvas/interaction/PLRLayoutBlockInteractionHandler.h"
#include "canvas/interaction/PLRLayoutInteraction.h"
#include "layout/views/PLRBlockView.h"
#include "layout/section_layout_handlers/PLRStackedSectionSolver.h"
#include "layout/views/PLRLayoutViewProxy.h"
#include "store/model/PLRAspectRatio.h"
#include "store/persistance-store/source/PLRSourceImage.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Storyboard.h"
#include "platform/UndoManager.h"
#include "platform-ui/Fonts.h"
#include "platform-ui/Images.h"
#include "store/session/PLRPostManager.h"
#include "shell/PLRGenericPostViewController.h"
#include "shell/PLRShellNotifications.h"
#include "canvas/text/PLRRichText.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QSet>
#include <QStackedWidget>
#include <QVBoxLayout>

using namespace platform::ui;
using plr::insp::caption;
using plr::insp::editableField;
using plr::insp::pageContent;
using plr::insp::row;
using plr::insp::scrolled;

namespace {

constexpr double kPreviewWidth = 222.0;
constexpr double kPreviewHeight = 150.0;

// The help text under the keywords; characters 136-175 are slanted: the closing advice, whole.
const char* kKeywordHelp =
    "Describe the photo in a few words, separated by commas. Search engines read them as its description, and "
    "they name the exported photos. Use the words a visitor would search for.";

PLRPopupButton* ratioPopup(QWidget* parent)
{
    QList<QPair<QString, qint64>> items;
    for (qint64 preset = 0; preset < PLRAspectRatio::kPresetCount; ++preset)
        items.append({PLRPropertyViewController::presetTitle(preset), preset});
    PLRPopupButton* popup = plr::insp::popupButton(parent, items);
    popup->setButtonStyle(2);
    return popup;
}

QList<QPair<QString, qint64>> downloadColours()
{
    return {{QStringLiteral("Black"), 0}, {QStringLiteral("Grey"), 1}, {QStringLiteral("White"), 2}, {QStringLiteral("None"), 3}};
}

bool isKind(const PLRBlock* block, int kind)
{
    return block && plr::typeOneOfCase(*block) == kind;
}

} // namespace

QString PLRPropertyViewController::presetTitle(qint64 preset)
{
    static const char* titles[] = {"3:2", "2:3", "4:3", "3:4", "1:1", "16:9", "9:16", "5:4", "4:5", "2:1", "1:2"};
    return preset >= 0 && preset < PLRAspectRatio::kPresetCount ? QString::fromLatin1(titles[preset]) : QString();
}

PLRPropertyViewController::PLRPropertyViewController(QObject* parent) : PLRViewController(parent) {}

PLRPropertyViewController::~PLRPropertyViewController()
{
    platform::NotificationCenter::defaultCenter().removeObserver(this);
    if (m_layoutManager)
        m_layoutManager->removeInteractionProxy(this);
}

PLRPostManager* PLRPropertyViewController::postManager() const
{
    return m_layoutManager ? m_layoutManager->postManager() : nullptr;
}

platform::UndoManager* PLRPropertyViewController::undoManager() const
{
    return platform::UndoManager::forOwner(postManager());
}

void PLRPropertyViewController::setLayoutManager(PLRLayoutManager* manager)
{
    if (m_layoutManager == manager)
        return;
    if (m_layoutManager)
        m_layoutManager->removeInteractionProxy(this);
    m_layoutManager = manager;
    if (manager)
        manager->addInteractionProxy(this);
    if (m_evc)
        m_evc->setPostManager(postManager());
}

// ---------------------------------------------------------------- views

View* PLRPropertyViewController::loadView()
{
    auto* root = new View;
    root->setIdentifier(QStringLiteral("PLRPropertyViewController"));
    auto* outer = new QVBoxLayout(root);
    outer->setContentsMargins(0, 0, 0, 0);
    m_tabView = new QStackedWidget(root);
    outer->addWidget(m_tabView);

    QVBoxLayout* column = nullptr;
    QWidget* empty = pageContent(&column);
    m_otherInfoLabel = caption(QStringLiteral("No Block Selected"), empty);
    m_otherInfoLabel->setAlignment(TextAlignment::Center);
    column->addStretch(1);
    column->addWidget(m_otherInfoLabel);
    column->addStretch(2);
    m_tabView->addWidget(empty);
    m_tabView->addWidget(buildImagePage());
    m_tabView->addWidget(buildTextPage());
    m_tabView->addWidget(buildBlankPage());
    m_tabView->addWidget(buildDownloadPage());
    return root;
}

QWidget* PLRPropertyViewController::buildImagePage()
{
    QVBoxLayout* column = nullptr;
    QWidget* content = pageContent(&column);

    // The photo's preview, twice more behind it when several are selected.
    auto* holder = new QWidget(content);
    holder->setFixedSize(int(kPreviewWidth), int(kPreviewHeight));
    m_previewHolder = holder;
    m_thirdImageView = new PLRImagePreviewImageView(holder);
    m_secondImageView = new PLRImagePreviewImageView(holder);
    m_previewImageView = new PLRImagePreviewImageView(holder);
    for (PLRImagePreviewImageView* preview : {m_thirdImageView.data(), m_secondImageView.data(), m_previewImageView.data()})
        preview->setImageScaling(ImageScaling::ProportionallyUpOrDown);
    m_imageCountLabel = caption(QString(), holder, true);
    m_imageCountLabel->setGeometry(int(kPreviewWidth) - 28, 4, 26, 18);
    m_imageCountLabel->setAlignment(TextAlignment::Center);
    column->addWidget(holder, 0, Qt::AlignHCenter);
    setPreviewStack(false);

    m_imageNameTextField = caption(QString(), content, true);
    m_selectionDescriptionTextField = caption(QString(), content);
    column->addWidget(m_imageNameTextField);
    column->addWidget(m_selectionDescriptionTextField);

    m_aspectRatioPopUpButton = ratioPopup(content);
    m_aspectRatioPopUpButton->setIdentifier(QStringLiteral("aspectRatioPopUpButton"));
    m_aspectRatioPopUpButton->setTarget(this);
    m_aspectRatioPopUpButton->setAction([this](Control* sender) { setImageAspectRatio(static_cast<PLRPopupButton*>(sender)); });
    auto* revert = Button::withTitle(QStringLiteral("Revert"), this, [this](Control*) { revertImageAspectRatio(); }, content);
    revert->setIdentifier(QStringLiteral("revertAspectRatioButton"));
    auto* ratioRow = new QHBoxLayout;
    ratioRow->addWidget(m_aspectRatioPopUpButton, 1);
    ratioRow->addWidget(revert);
    column->addLayout(ratioRow);

    auto* tiles = new QHBoxLayout;
    tiles->setSpacing(8);
    m_cropButton = new PLRBoxButton(content);
    m_cropButton->setIdentifier(QStringLiteral("cropButton"));
    m_cropButton->setFixedHeight(46);
    m_cropButton->resize(107, 46);
    m_cropButton->setIsRecycleButton(false);
    m_cropButton->setUpDefaultContent(QStringLiteral("Crop/Resize"));
    m_recycleButton = new PLRBoxButton(content);
    m_recycleButton->setIdentifier(QStringLiteral("recycleButton"));
    m_recycleButton->setFixedHeight(46);
    m_recycleButton->resize(107, 46);
    m_recycleButton->setIsRecycleButton(true);
    m_recycleButton->setUpDefaultContent(QStringLiteral("Recycle"));
    tiles->addWidget(m_cropButton);
    tiles->addWidget(m_recycleButton);
    column->addLayout(tiles);

    column->addWidget(plr::insp::separator(content));
    auto* keywordsTitle = new QHBoxLayout;
    keywordsTitle->addWidget(caption(QStringLiteral("Keywords"), content, true), 1);
    m_imageDescriptionImageView = new ImageView(content);
    m_imageDescriptionImageView->setFixedSize(10, 10);
    keywordsTitle->addWidget(m_imageDescriptionImageView);
    column->addLayout(keywordsTitle);
    m_imageDescription = new plr::insp::LimitedTextEdit(content);
    m_imageDescription->setObjectName(QStringLiteral("imageKeywordView"));
    m_imageDescription->setFont(systemFont(12));
    m_imageDescription->setMinimumAutoHeight(52);
    connect(m_imageDescription, &plr::insp::LimitedTextEdit::textEdited, this, [this] {
        setLight(!m_imageDescription->text().isEmpty());
        setImageDescription();
    });
    column->addWidget(m_imageDescription);
    m_imageDescriptionHelpText = new TextField(content);
    {
        AttributedString help(QString::fromLatin1(kKeywordHelp), {{kFontAttributeName, systemFont(10)},
                                                                   {kForegroundColorAttributeName,
                                                                    QVariant::fromValue(namedColor(QStringLiteral("plrTextColorInactive")))}});
        QFont slanted = systemFont(10);
        slanted.setItalic(true);
        help.addAttribute(QString::fromLatin1(kFontAttributeName), slanted, {136, 40});
        m_imageDescriptionHelpText->setAttributedStringValue(help);
    }
    m_imageDescriptionHelpText->setFixedHeight(78);
    column->addWidget(m_imageDescriptionHelpText);

    column->addWidget(plr::insp::separator(content));
    m_addLinkOnClickButton = plr::insp::switchButton(content);
    m_addLinkOnClickButton->setIdentifier(QStringLiteral("addLinkOnClickButton"));
    m_addLinkOnClickButton->setTarget(this);
    m_addLinkOnClickButton->setAction([this](Control*) { toggleLinkOnClickPanel(); });
    column->addLayout(row(QStringLiteral("Link on click"), m_addLinkOnClickButton, content));
    m_addLinkInspectorView = new InspectorBGView(content);
    auto* linkColumn = new QVBoxLayout(m_addLinkInspectorView);
    linkColumn->setContentsMargins(0, 0, 0, 4);
    auto* linkBox = new QWidget(m_addLinkInspectorView);
    auto* linkBoxColumn = new QVBoxLayout(linkBox);
    linkBoxColumn->setContentsMargins(0, 0, 0, 0);
    m_imageLinkURLTextField = editableField(linkBox);
    m_imageLinkURLTextField->setIdentifier(QStringLiteral("imageLinkURLTextField"));
    m_imageLinkURLTextField->setPlaceholderString(QStringLiteral("https://"));
    connect(m_imageLinkURLTextField->editor(), &QLineEdit::textEdited, this, [this] { imageLinkTextDidChange(); });
    connect(m_imageLinkURLTextField->editor(), &QLineEdit::returnPressed, this,
            [this] { m_imageLinkURLTextField->editor()->selectAll(); });
    linkBoxColumn->addWidget(m_imageLinkURLTextField);
    m_addLinkOnClickView = linkBox;
    linkColumn->addWidget(linkBox);
    column->addWidget(m_addLinkInspectorView);

    // The collage export: only when the export panel is there.
    m_expandImageCollageButton = new plr::insp::StateButton(QStringLiteral("Export collage"), content);
    m_expandImageCollageButton->setFixedSize(120, 24);
    m_expandImageCollageButton->setTarget(this);
    m_expandImageCollageButton->setAction([this](Control*) {
        m_expandImageCollageButton->setState(!m_expandImageCollageButton->state());
        toggleCollageExportPanel();
    });
    m_expandImageCollageButton->setHidden(true);
    column->addWidget(m_expandImageCollageButton);
    auto* exportView = new QWidget(content);
    exportView->setObjectName(QStringLiteral("exportView"));
    auto* exportHolder = new QVBoxLayout(exportView);
    exportHolder->setContentsMargins(0, 0, 0, 0);
    m_exportView = exportView;
    column->addWidget(exportView);
    column->addStretch(1);
    return scrolled(content);
}

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

QWidget* PLRPropertyViewController::buildBlankPage()
{
    QVBoxLayout* column = nullptr;
    QWidget* content = pageContent(&column);
    column->addWidget(caption(QStringLiteral("Spacer"), content, true));
    m_blankAspectRatioPopUpButton = ratioPopup(content);
    m_blankAspectRatioPopUpButton->setTarget(this);
    m_blankAspectRatioPopUpButton->setAction([this](Control* sender) { setImageAspectRatio(static_cast<PLRPopupButton*>(sender)); });
    column->addWidget(m_blankAspectRatioPopUpButton);
    column->addStretch(1);
    return scrolled(content);
}

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

void PLRPropertyViewController::viewDidLoad()
{
    m_addLinkOnClickView->setHidden(!m_addLinkOnClickButton->checked());
    m_addLinkInspectorView->setDrawLine(m_addLinkOnClickView->isHidden());
    m_exportView->setHidden(!m_expandImageCollageButton->state());

    auto& center = platform::NotificationCenter::defaultCenter();
    center.addObserver(this, QString::fromLatin1(kPLR_NOTIFICATION_IMAGELINK_DID_CHANGE), [](const platform::Notification&) {
        // Links are applied through the page's own link field.
    });
    center.addObserver(this, QString::fromLatin1(kPLR_BLOCK_WAS_SELECTED), [this](const platform::Notification& note) {
        if (note.userInfo.value(QString::fromLatin1(kPLRShouldFocusKeyWordField)).toBool() && m_imageDescription) {
            m_imageDescription->setFocus(Qt::OtherFocusReason);
            QTextCursor cursor = m_imageDescription->textCursor();
            cursor.movePosition(QTextCursor::End);
            m_imageDescription->setTextCursor(cursor);
        }
    });
    center.addObserver(this, QString::fromLatin1(kPLR_NOTIFICATION_LAYOUT_DID_CHANGE), [this](const platform::Notification& note) {
        if (!m_layoutManager || note.object == m_layoutManager)
            updateEditButtonsEnabled();
    });
    m_recycleButton->setDelegate(this, this);
    m_cropButton->setDelegate(this, this);

    // The collage export panel and the link popover, when their scenes are registered.
    const QString storyboard = QLatin1String(kPLRMainStoryboard);
    const QString exportIdentifier = QLatin1String(kPLRInspectorExportPanelIdentifier);
    if (platform::Storyboard::hasScene(storyboard, exportIdentifier)) {
        QObject* object = platform::Storyboard::instantiate(storyboard, exportIdentifier);
        auto* panel = qobject_cast<PLRGenericPostViewController*>(object);
        if (auto* exportPanel = dynamic_cast<PLRInspectorExportPanel*>(object); panel && exportPanel) {
            panel->setParent(this);
            exportPanel->setExportType(2);
            m_evc = panel;
            View* panelView = panel->view();
            panelView->setParent(m_exportView);
            static_cast<QVBoxLayout*>(m_exportView->layout())->addWidget(panelView);
            m_expandImageCollageButton->setHidden(false);
            if (m_layoutManager)
                panel->setPostManager(postManager());
        } else {
            PLR_LOG_ERROR(QStringLiteral("The scene \"%1\" is not an export panel").arg(exportIdentifier));
            delete object;
        }
    }
    m_ivc = new PLRImageLinkViewController(this);
    showMessage(QStringLiteral("No Block Selected"));
}

void PLRPropertyViewController::showSubPage(SubPage page)
{
    view();
    m_tabView->setCurrentIndex(int(page));
}

PLRPropertyViewController::SubPage PLRPropertyViewController::currentSubPage() const
{
    return m_tabView ? SubPage(m_tabView->currentIndex()) : EmptyPage;
}

void PLRPropertyViewController::showMessage(const QString& text)
{
    view();
    m_otherInfoLabel->setStringValue(text);
    showSubPage(EmptyPage);
}

// ---------------------------------------------------------------- page choice

void PLRPropertyViewController::layoutManagerDidSelectBlocks(PLRLayoutManager*, const QList<PLRBlock*>& blocks)
{
    view();
    if (blocks.isEmpty()) {
        showMessage(QStringLiteral("No Block Selected"));
        return;
    }
    bool I = false, T = false, B = false, D = false;
    for (const PLRBlock* block : blocks) {
        switch (plr::typeOneOfCase(*block)) {
        case plr::kBlockKindImage: I = true; break;
        case plr::kBlockKindText: T = true; break;
        case plr::kBlockKindBlank: B = true; break;
        case plr::kBlockKindDownloadButton: D = true; break;
        default: break;
        }
    }
    if (I && !T && !D) {
        QList<PLRBlock*> images;
        for (PLRBlock* block : blocks)
            if (isKind(block, plr::kBlockKindImage))
                images.append(block);
        ensureImageTab(images);
    } else if (T && !I && !B && !D) {
        showSubPage(TextPage);
        ensureTextTab(blocks);
    } else if (B && !I && !T && !D) {
        showSubPage(BlankPage);
        ensureBlankTab(blocks);
    } else if (D && !I && !T && !B) {
        showSubPage(DownloadButtonPage);
        ensureDownloadTab(blocks);
    } else {
        showMessage(QStringLiteral("Multiple Blocks Selected"));
    }
    updateEditButtonsEnabled();
}

void PLRPropertyViewController::layoutManagerDidSetEditBlock(PLRLayoutManager*, PLRBlock* block)
{
    layoutManagerDidSelectBlocks(m_layoutManager, block ? QList<PLRBlock*>{block} : QList<PLRBlock*>{});
}

// ---------------------------------------------------------------- tiles

void PLRPropertyViewController::updateEditButtonsEnabled()
{
    if (!m_layoutManager || !isViewLoaded())
        return;
    const qsizetype selected = m_layoutManager->currentSelectedBlocks().size();
    if (selected == 1) {
        m_recycleButton->setDisabledTextString(QStringLiteral("Recycle Container Layout"));
        m_cropButton->setIsEnabled(true);
    } else if (selected >= 2) {
        m_recycleButton->setDisabledTextString(QStringLiteral("Recycle 1 container at a time"));
        m_cropButton->setDisabledTextString(QStringLiteral("Crop/Resize 1 image at a time"));
        m_cropButton->setIsEnabled(false);
    }
    m_recycleButton->setIsEnabled(m_layoutManager->isSelectedBlockValidForCycler());
}

void PLRPropertyViewController::recycleButtonClicked()
{
    if (m_layoutManager)
        m_layoutManager->recycleSelectedBlock();
}

void PLRPropertyViewController::cropButtonClicked()
{
    if (!m_layoutManager)
        return;
    if (PLRBlock* edit = m_layoutManager->currentEditBlock()) {
        m_layoutManager->setEditBlock(nullptr);
        m_layoutManager->selectBlocks({edit});
        return;
    }
    const QList<PLRBlock*> selected = m_layoutManager->currentSelectedBlocks();
    if (selected.isEmpty())
        return;
    PLRBlock* block = selected.first();
    m_layoutManager->deSelectAllBlocks();
    m_layoutManager->setEditBlock(block);
}

void PLRPropertyViewController::recycleButtonMouseOver()
{
    if (m_layoutManager)
        m_layoutManager->setShouldShowRecyclerHighlight(true);
    platform::NotificationCenter::defaultCenter().post(QString::fromLatin1(kPLR_NOTIFICATION_RECYCLE_TOGGLE_OUTLINE));
}

void PLRPropertyViewController::recycleButtonMouseExit()
{
    if (m_layoutManager)
        m_layoutManager->setShouldShowRecyclerHighlight(false);
    platform::NotificationCenter::defaultCenter().post(QString::fromLatin1(kPLR_NOTIFICATION_RECYCLE_TOGGLE_OUTLINE));
}

// ---------------------------------------------------------------- image page

void PLRPropertyViewController::showPresets(PLRPopupButton* popup, const QList<qint64>& presets)
{
    const QSet<qint64> set(presets.begin(), presets.end());
    int matched = -1;
    for (int i = 0; i < popup->numberOfItems(); ++i)
        if (set.contains(popup->itemTag(i)))
            matched = i;
    if (matched >= 0)
        popup->selectItemAtIndex(matched);
    // The marks after the selection (which marks its own item): every preset of the set.
    for (int i = 0; i < popup->numberOfItems(); ++i)
        popup->setItemState(i, set.contains(popup->itemTag(i)));
    if (set.size() > 1)
        popup->setTitle(QStringLiteral("Multiple"));
    else if (matched < 0)
        popup->setTitle(QStringLiteral("Custom"));
}

void PLRPropertyViewController::setLight(bool green)
{
    m_lightName = green ? QStringLiteral("light-green") : QStringLiteral("light-red");
    if (m_imageDescriptionImageView)
        m_imageDescriptionImageView->setImage(namedImage(m_lightName));
}

void PLRPropertyViewController::setPreviewStack(bool several)
{
    const double inset = several ? 31.0 : 15.0;
    const double w = kPreviewWidth - inset, h = kPreviewHeight - inset;
    // Qt geometry (y down): the front preview at the top left, the others behind it, lower right.
    m_previewImageView->setGeometry(0, 0, int(w), int(h));
    m_secondImageView->setGeometry(8, 8, int(w), int(h));
    m_thirdImageView->setGeometry(16, 16, int(w), int(h));
    m_imageCountLabel->setAlphaValue(several ? 1.0 : 0.0);
    m_secondImageView->setAlphaValue(several ? 0.7 : 0.0);
    m_thirdImageView->setAlphaValue(several ? 0.3 : 0.0);
    m_secondImageView->setHidden(!several);
    m_thirdImageView->setHidden(!several);
    m_imageCountLabel->setHidden(!several);
}

void PLRPropertyViewController::ensureImageTab(const QList<PLRBlock*>& blocks)
{
    view();
    PLRPostManager* post = postManager();
    if (blocks.isEmpty() || !post) {
        showMessage(QStringLiteral("Image cannot be located"));
        return;
    }
    const PLRBlock* first = blocks.first();
    const PLRSourceImagePtr source = post->imageForIdentifier(QString::fromStdString(first->image().img_ref()));
    if (!source && blocks.size() == 1) {
        showMessage(QStringLiteral("Image cannot be located"));
        return;
    }
    showSubPage(ImagePage);

    // The preview; one that arrives after the selection moved on is dropped.
    const quint64 generation = ++m_previewGeneration;
    auto show = [this](const QImage& image) {
        for (PLRImagePreviewImageView* preview : {m_previewImageView.data(), m_secondImageView.data(), m_thirdImageView.data()})
            if (preview)
                preview->setImage(image);
    };
    show(QImage());
    if (source) {
        QPointer<PLRPropertyViewController> self(this);
        const QImage now = source->previewImage([self, generation](const QImage& image) {
            platform::dispatchMain([self, generation, image] {
                if (!self || self->m_previewGeneration != generation)
                    return;
                for (PLRImagePreviewImageView* preview : {self->m_previewImageView.data(), self->m_secondImageView.data(),
                                                          self->m_thirdImageView.data()})
                    if (preview)
                        preview->setImage(image);
            });
        });
        if (!now.isNull())
            show(now);
    }

    if (blocks.size() == 1) {
        m_imageNameTextField->setStringValue(QFileInfo(source->fileName()).completeBaseName());
        m_selectionDescriptionTextField->setStringValue(QStringLiteral("Selected Image"));
        const PLRAspectRatio ratio = first->aspect_ratio() != 0.0f ? PLRAspectRatio::ratioWithRawRatio(first->aspect_ratio())
                                                                   : source->aspectRatio();
        showPresets(m_aspectRatioPopUpButton, {ratio.preset()});
        setPreviewStack(false);
        const QString href = first->image().has_interaction() ? QString::fromStdString(first->image().interaction().href()) : QString();
        m_imageLinkURLTextField->setStringValue(href);
        // A photo that links somewhere shows its link: a hidden box would read as "no link".
        if (!href.isEmpty() && !m_addLinkOnClickButton->checked()) {
            m_addLinkOnClickButton->setChecked(true);
            toggleLinkOnClickPanel();
        }
    } else {
        m_selectionDescriptionTextField->setStringValue(QStringLiteral("Multiple Images"));
        m_imageNameTextField->setStringValue(QString());
        m_imageCountLabel->setStringValue(QString::number(blocks.size()));
        QList<qint64> presets;
        for (const PLRBlock* block : blocks) {
            if (block->aspect_ratio() != 0.0f) {
                presets.append(PLRAspectRatio::ratioWithRawRatio(block->aspect_ratio()).preset());
                continue;
            }
            const PLRSourceImagePtr own = post->imageForIdentifier(QString::fromStdString(block->image().img_ref()));
            presets.append(own ? own->aspectRatio().preset() : 0);
        }
        showPresets(m_aspectRatioPopUpButton, presets);
        setPreviewStack(true);
        m_imageLinkURLTextField->setStringValue(QString());
        if (m_ivc && m_ivc->isViewLoaded())
            m_ivc->imageClickOnUrlTextField()->setStringValue(QString());
    }

    const QStringList keywords = source ? source->focusKeywords() : QStringList();
    m_imageDescription->setText(keywords.join(QStringLiteral(", ")));
    setLight(!keywords.isEmpty());
}

PLRBlock* PLRPropertyViewController::blockWithId(const QString& identifier) const
{
    if (!m_layoutManager || identifier.isEmpty())
        return nullptr;
    PLRBlock* found = nullptr;
    const std::string id = identifier.toStdString();
    plr::tree::forEachBlock(m_layoutManager->representedLayout(), [&](PLRBlock* block) {
        if (!found && block->id() == id)
            found = block;
    });
    return found;
}

void PLRPropertyViewController::setImageAspectRatio(PLRPopupButton* sender)
{
    if (!m_layoutManager || !sender)
        return;
    const PLRAspectRatio ratio = PLRAspectRatio::ratioWithBlockRatio(sender->selectedTag());
    if (!ratio.isValid())
        return;
    QList<PLRBlock*> targets;
    if (PLRBlock* edit = m_layoutManager->currentEditBlock())
        targets = {edit};
    else
        targets = m_layoutManager->currentSelectedBlocks();
    QStringList ids;
    for (const PLRBlock* block : targets)
        ids.append(QString::fromStdString(block->id()));
    setAspectRatios({float(ratio.factor())}, ids);
}

void PLRPropertyViewController::setAspectRatios(const QList<float>& ratios, const QStringList& blockIds)
{
    if (!m_layoutManager || ratios.isEmpty())
        return;
    QList<float> previous;
    QStringList changed;
    for (int i = 0; i < blockIds.size(); ++i) {
        PLRBlock* block = blockWithId(blockIds[i]);
        const float ratio = ratios.size() == 1 ? ratios[0] : (i < ratios.size() ? ratios[i] : ratios[0]);
        if (!block)
            continue;
        previous.append(block->aspect_ratio());
        changed.append(blockIds[i]);
        block->set_aspect_ratio(ratio);
    }
    if (changed.isEmpty())
        return;
    // The canvas lays the blocks out again.
    m_layoutManager->announceChange();
    layoutManagerDidSelectBlocks(m_layoutManager, m_layoutManager->currentSelectedBlocks());
    if (m_layoutManager->currentEditBlock()) {
        QPointer<PLRLayoutManager> manager = m_layoutManager;
        platform::dispatchAfter(0.1, this, [manager] {
            if (manager)
                manager->editBlockDidChangeStructure();
        });
    }
    platform::UndoManager* undo = undoManager();
    if (undo && !undo->isRedoing()) {
        QPointer<PLRPropertyViewController> self(this);
        undo->registerUndo(this, [self, previous, changed] {
            if (self)
                self->setAspectRatios(previous, changed);
        });
        undo->setActionName(QString::fromLatin1(kChangeAspectRatioActionName));
    }
}

void PLRPropertyViewController::revertImageAspectRatio()
{
    if (!m_layoutManager)
        return;
    QList<PLRBlock*> targets;
    if (PLRBlock* edit = m_layoutManager->currentEditBlock())
        targets = {edit};
    else
        targets = m_layoutManager->currentSelectedBlocks();
    if (targets.isEmpty())
        return;
    struct Kept {
        QString id;
        float ratio = 0.0f;
        std::optional<QByteArray> position;
    };
    QList<Kept> kept;
    QList<PLRBlock*> images;
    for (PLRBlock* block : targets) {
        Kept entry{QString::fromStdString(block->id()), block->aspect_ratio(), std::nullopt};
        block->set_aspect_ratio(0.0f);
        if (isKind(block, plr::kBlockKindImage)) {
            if (block->image().has_position())
                entry.position = plr::data(block->image().position());
            else
                entry.position = QByteArray();
            plr::setPosition(block->mutable_image(), nullptr);
            images.append(block);
        }
        kept.append(entry);
    }
    m_layoutManager->announceChange();
    if (!images.isEmpty())
        ensureImageTab(images);
    platform::UndoManager* undo = undoManager();
    if (undo && !undo->isRedoing()) {
        QPointer<PLRPropertyViewController> self(this);
        undo->registerUndo(this, [self, kept] {
            if (!self || !self->m_layoutManager)
                return;
            for (const Kept& entry : kept) {
                PLRBlock* block = self->blockWithId(entry.id);
                if (!block)
                    continue;
                block->set_aspect_ratio(entry.ratio);
                if (entry.position && isKind(block, plr::kBlockKindImage)) {
                    if (entry.position->isEmpty()) {
                        plr::setPosition(block->mutable_image(), nullptr);
                    } else {
                        bool ok = false;
                        const PLRPosition position = plr::messageFromData<PLRPosition>(*entry.position, &ok);
                        if (ok)
                            plr::setPosition(block->mutable_image(), &position);
                    }
                }
            }
            // The canvas shows the restored crop.
            self->m_layoutManager->announceChange();
        });
        undo->setActionName(QString::fromLatin1(kChangeAspectRatioActionName));
    }
}

void PLRPropertyViewController::setImageDescription()
{
    if (!m_layoutManager)
        return;
    PLRPostManager* post = postManager();
    if (!post)
        return;
    const QString text = m_imageDescription->text();
    const QStringList keywords = text.isEmpty() ? QStringList() : QStringList{text};
    QList<PLRBlock*> targets;
    PLRBlock* edit = m_layoutManager->currentEditBlock();
    if (edit) {
        if (!isKind(edit, plr::kBlockKindImage))
            return;
        targets = {edit};
    } else {
        for (PLRBlock* block : m_layoutManager->currentSelectedBlocks())
            if (isKind(block, plr::kBlockKindImage))
                targets.append(block);
    }
    PLRLayoutViewProxy* live = m_layoutManager->liveLayoutViewProxy();
    const QString stamp = QString::number(QDateTime::currentSecsSinceEpoch());
    for (PLRBlock* block : targets) {
        if (const PLRSourceImagePtr source = post->imageForIdentifier(QString::fromStdString(block->image().img_ref())))
            source->setFocusKeywords(keywords);
        block->mutable_image()->set_source_last_updated(stamp.toStdString());
        if (live) {
            PLRBlockView* blockView = block == edit ? live->currentEditBlockView() : live->blockViewForBlock(block);
            if (blockView && blockView->drawHandler()) {
                blockView->drawHandler()->invalidateDraw();
                blockView->update();
            }
        }
    }
    m_layoutManager->announceChange();
}

void PLRPropertyViewController::imageLinkTextDidChange()
{
    if (!m_layoutManager)
        return;
    const QString text = m_imageLinkURLTextField->stringValue().trimmed();
    // Only web, mail and telephone addresses (and relative ones) may become a link.
    const QString href = PLRRichTextHTML::sanitizeHref(text);
    if (!text.isEmpty() && href.isEmpty())
        PLR_LOG_DEBUG(QStringLiteral("The link address \"%1\" is not a web or mail address; not linked").arg(text.left(200)));
    for (PLRBlock* block : m_layoutManager->currentSelectedBlocks()) {
        if (!isKind(block, plr::kBlockKindImage))
            continue;
        if (href.isEmpty()) {
            plr::setInteraction(block->mutable_image(), nullptr);
        } else {
            PLRInteraction interaction;
            interaction.set_type(PLRInteraction::HREF);
            interaction.set_href(href.toStdString());
            if (block->image().has_interaction())
                interaction.set_open_in_new_tab(block->image().interaction().open_in_new_tab());
            plr::setInteraction(block->mutable_image(), &interaction);
        }
    }
    m_layoutManager->announceChange();
}

void PLRPropertyViewController::toggleLinkOnClickPanel()
{
    const bool shown = m_addLinkOnClickButton->checked();
    m_addLinkOnClickView->setHidden(!shown);
    m_addLinkInspectorView->setDrawLine(!shown);
}

void PLRPropertyViewController::toggleCollageExportPanel()
{
    m_exportView->setHidden(!m_expandImageCollageButton->state());
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

// ---------------------------------------------------------------- blank page

void PLRPropertyViewController::ensureBlankTab(const QList<PLRBlock*>& blocks)
{
    QList<qint64> presets;
    for (const PLRBlock* block : blocks) {
        // A spacer without a ratio of its own is drawn at the canvas's fallback ratio: the
        // page names that one rather than "Custom".
        const double ratio = block->aspect_ratio() > 0.0f ? double(block->aspect_ratio()) : plr::layout::kFallbackRatio;
        presets.append(PLRAspectRatio::ratioWithRawRatio(ratio).preset());
    }
    showPresets(m_blankAspectRatioPopUpButton, presets);
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

// ---------------------------------------------------------------- link popover

View* PLRImageLinkViewController::loadView()
{
    auto* root = new View;
    root->resize(260, 70);
    auto* column = new QVBoxLayout(root);
    column->setContentsMargins(10, 10, 10, 10);
    m_field = new TextField(root);
    m_field->setEditable(true);
    m_field->setFixedHeight(24);
    m_field->setPlaceholderString(QStringLiteral("https://"));
    column->addWidget(m_field);
    auto* done = Button::withTitle(QStringLiteral("Add Link"), this, [this](Control*) { didFinishAddingLink(); }, root);
    column->addWidget(done, 0, Qt::AlignRight);
    return root;
}

void PLRImageLinkViewController::viewWillAppear()
{
    PLR_LOG_DEBUG(QStringLiteral("view appeared"));
}

void PLRImageLinkViewController::didFinishAddingLink()
{
    view();
    platform::NotificationCenter::defaultCenter().post(QString::fromLatin1(kPLR_NOTIFICATION_IMAGELINK_DID_CHANGE), this,
                                                       {{QString::fromLatin1(kPLRImageLinkURLKey), m_field->stringValue()}});
    PLRAnalyticManager::coreAnalyticManager().fireAnalyticEvent(
        PLRAnalyticEvent::createEventWithTitle(QStringLiteral("added_hyperlink_on_image"), {}));
}
