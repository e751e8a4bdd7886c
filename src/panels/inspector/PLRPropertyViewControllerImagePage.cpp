#include "panels/inspector/PLRPropertyViewController.h"
#include "platform/Clock.h"

#include "canvas/interaction/PLRLayoutDocumentView.h"
#include "canvas/interaction/PLRLayoutInteraction.h"
#include "canvas/interaction/PLRLayoutInteractionView.h"
#include "layout/text/PLRRichText.h"
#include "controls/ColorWithHex.h"
#include "controls/PLRPopupButton.h"
#include "controls/PLRSmallViews.h"
#include "layout/base/PLRLayoutManager.h"
#include "layout/base/PLRLayoutTree.h"
#include "layout/views/PLRBlockView.h"
#include "layout/views/PLRLayoutViewProxy.h"
#include "panels/inspector/PLRImageLinkViewController.h"
#include "panels/inspector/PLRPropertyPageSupport.h"
#include "shell/PLRShellNotifications.h"
#include "shell/PLRTitleBarControls.h"
#include "platform-ui/Fonts.h"
#include "platform-ui/Images.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/UndoManager.h"
#include "store/model/PLRAspectRatio.h"
#include "store/persistance-store/source/PLRSourceImage.h"
#include "store/session/PLRPostManager.h"
#include "store/session/PLRFocusKeywordStore.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QResizeEvent>
#include <QScrollArea>
#include <QSet>
#include <QVBoxLayout>

using namespace platform::ui;
using plr::insp::caption;
using plr::insp::editableField;
using plr::insp::pageContent;
using plr::insp::row;
using plr::insp::scrolled;
using namespace PLRPropertyPageSupport;

namespace {

constexpr double kPreviewWidth = 222.0;
constexpr double kPreviewHeight = 150.0;
// Narrower when the page's scroll bar takes its room.
constexpr double kPreviewMinimumWidth = 180.0;

// The previews' holder: as wide as the page lets it be, up to the previews' width; it places
// them again when its width changes.
class PreviewHolder : public QWidget {
public:
    using QWidget::QWidget;
    std::function<void()> onResize;
    QSize sizeHint() const override { return QSize(int(kPreviewWidth), int(kPreviewHeight)); }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        if (onResize)
            onResize();
    }
};

// The help text under the keywords: it says what ends a keyword, as the field splits them.
// Characters 136-175 are slanted: the closing advice, whole.
const char* kKeywordHelp =
    "Each word is one keyword: a blank, a comma or a new line ends it. Search engines read the keywords; they "
    "also name the exported photos. Use the words a visitor would search for.";

} // namespace

QWidget* PLRPropertyViewController::buildImagePage()
{
    QVBoxLayout* column = nullptr;
    QWidget* content = pageContent(&column);

    // The photo's preview, twice more behind it when several are selected.
    auto* holder = new PreviewHolder(content);
    holder->setFixedHeight(int(kPreviewHeight));
    holder->setMinimumWidth(int(kPreviewMinimumWidth));
    holder->setMaximumWidth(int(kPreviewWidth));
    holder->onResize = [this] {
        if (m_secondImageView)
            setPreviewStack(!m_secondImageView->isHidden());
    };
    m_previewHolder = holder;
    m_thirdImageView = new PLRImagePreviewImageView(holder);
    m_secondImageView = new PLRImagePreviewImageView(holder);
    m_previewImageView = new PLRImagePreviewImageView(holder);
    for (PLRImagePreviewImageView* preview : {m_thirdImageView.data(), m_secondImageView.data(), m_previewImageView.data()})
        preview->setImageScaling(ImageScaling::ProportionallyUpOrDown);
    m_imageCountLabel = caption(QString(), holder, true);
    m_imageCountLabel->setAlignment(TextAlignment::Center);
    column->addWidget(holder, 0, Qt::AlignHCenter);
    setPreviewStack(false);

    m_imageNameTextField = caption(QString(), content, true);
    m_selectionDescriptionTextField = caption(QString(), content);
    column->addWidget(m_imageNameTextField);
    column->addWidget(m_selectionDescriptionTextField);
    // Why the photo cannot be used, when it cannot: what its mark on the canvas and in the
    // gallery stands for.
    m_imageProblemLabel = caption(QString(), content);
    m_imageProblemLabel->setTextColor(ColorWithHex::smb_errorRed());
    m_imageProblemLabel->setFixedHeight(30);
    m_imageProblemLabel->setHidden(true);
    column->addWidget(m_imageProblemLabel);

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
    // The photo's keywords are tokens, entered as the focus keywords are.
    m_imageKeywordTokenField = new OEXTokenField(content);
    m_imageKeywordTokenField->setObjectName(QStringLiteral("imageKeywordView"));
    m_imageKeywordTokenField->setTokenizingCharacters(QStringLiteral(" \n"));
    m_imageKeywordTokenField->setDelegate(this);
    connect(m_imageKeywordTokenField, &PLRTokenField::objectValueChanged, this, [this](const QStringList& tokens) {
        if (m_fillingKeywords)
            return;
        setLight(!tokens.isEmpty());
        setImageDescription();
    });
    column->addWidget(m_imageKeywordTokenField);
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
    m_imageLinkPopoverButton = Button::withTitle(QStringLiteral("Add Link\u2026"), this, [this](Control*) { showImageLinkPopover(); }, linkBox);
    m_imageLinkPopoverButton->setIdentifier(QStringLiteral("imageLinkPopoverButton"));
    m_imageLinkPopoverButton->setFont(systemFont(12));
    linkBoxColumn->addWidget(m_imageLinkPopoverButton, 0, Qt::AlignRight);
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
    const double width = m_previewHolder ? std::min<double>(m_previewHolder->width(), kPreviewWidth) : kPreviewWidth;
    const double w = width - inset, h = kPreviewHeight - inset;
    // Qt geometry (y down): the front preview at the top left, the others behind it, lower right.
    m_previewImageView->setGeometry(0, 0, int(w), int(h));
    m_secondImageView->setGeometry(8, 8, int(w), int(h));
    m_thirdImageView->setGeometry(16, 16, int(w), int(h));
    m_imageCountLabel->setGeometry(int(width) - 28, 4, 26, 18);
    m_imageCountLabel->setAlphaValue(several ? 1.0 : 0.0);
    m_secondImageView->setAlphaValue(several ? 0.7 : 0.0);
    m_thirdImageView->setAlphaValue(several ? 0.3 : 0.0);
    m_secondImageView->setHidden(!several);
    m_thirdImageView->setHidden(!several);
    m_imageCountLabel->setHidden(!several);
}

void PLRPropertyViewController::showPreviewOf(const PLRSourceImagePtr& source)
{
    const PLRSourceImagePtr previous = m_previewSource.lock();
    if (previous != source) {
        if (previous)
            previous->removeDelegate(this);
        if (source)
            source->addDelegate(this);
        m_previewSource = source;
    }
    // The preview; one that arrives after the selection moved on is dropped.
    const quint64 generation = ++m_previewGeneration;
    auto show = [this](const QImage& image) {
        for (PLRImagePreviewImageView* preview : {m_previewImageView.data(), m_secondImageView.data(), m_thirdImageView.data()})
            if (preview)
                preview->setImage(image);
    };
    show(QImage());
    if (!source)
        return;
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

void PLRPropertyViewController::imageCacheAssetChanged(PLRSourceImage* image)
{
    const PLRSourceImagePtr source = m_previewSource.lock();
    if (source && source.get() == image) {
        showPreviewOf(source);
        showImageProblem();
    }
}

void PLRPropertyViewController::showImageProblem()
{
    if (!m_imageProblemLabel)
        return;
    const PLRSourceImagePtr source = m_showsOnePhoto ? m_previewSource.lock() : nullptr;
    const PLRPhotoProblem problem = source ? source->problem() : PLRPhotoProblem::None;
    m_imageProblemLabel->setStringValue(problem == PLRPhotoProblem::None
                                            ? QString()
                                            : QStringLiteral("Cannot be used: %1").arg(describePhotoProblem(problem)));
    m_imageProblemLabel->setHidden(problem == PLRPhotoProblem::None);
}

void PLRPropertyViewController::sourceDirectoryUpdatedState(PLRSourceDirectory*, qint64)
{
    showImageProblem();
}

void PLRPropertyViewController::sourceDirectoryUpdatedImage(PLRSourceDirectory*, const PLRSourceImagePtr& image)
{
    if (image && image == m_previewSource.lock())
        showImageProblem();
}

void PLRPropertyViewController::sourceDirectoryDeletedImage(PLRSourceDirectory*, const PLRSourceImagePtr& image)
{
    if (image && image == m_previewSource.lock())
        showImageProblem();
}

void PLRPropertyViewController::ensureImageTab(const QList<PLRBlock*>& blocks)
{
    view();
    PLRPostManager* post = postManager();
    m_showsOnePhoto = false;
    if (blocks.isEmpty() || !post) {
        showMessage(QStringLiteral("Image cannot be located"));
        return;
    }
    observeSourceDirectory();
    const PLRBlock* first = blocks.first();
    const PLRSourceImagePtr source = post->imageForIdentifier(QString::fromStdString(first->image().img_ref()));
    if (!source && blocks.size() == 1) {
        showMessage(QStringLiteral("Image cannot be located"));
        return;
    }
    showSubPage(ImagePage);

    showPreviewOf(source);
    m_showsOnePhoto = blocks.size() == 1;
    showImageProblem();

    if (blocks.size() == 1) {
        m_imageNameTextField->setStringValue(QFileInfo(source->fileName()).completeBaseName());
        m_selectionDescriptionTextField->setStringValue(QStringLiteral("Selected Image"));
        const PLRAspectRatio ratio = first->aspect_ratio() != 0.0f ? PLRAspectRatio::ratioWithRawRatio(first->aspect_ratio())
                                                                   : source->aspectRatio();
        showPresets(m_aspectRatioPopUpButton, {ratio.preset()});
        setPreviewStack(false);
        const QString href = first->image().has_interaction() ? QString::fromStdString(first->image().interaction().href()) : QString();
        m_imageLinkURLTextField->setStringValue(href);
        // The switch shows this photo's own link: on with its address, off without one.
        showLinkOnClick(!href.isEmpty());
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
        showLinkOnClick(false);
        if (m_ivc && m_ivc->isViewLoaded())
            m_ivc->imageClickOnUrlTextField()->setStringValue(QString());
    }

    const QStringList keywords = source ? source->focusKeywords() : QStringList();
    m_fillingKeywords = true;
    m_imageKeywordTokenField->setObjectValue(keywords);
    m_fillingKeywords = false;
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
        platform::Clock::shared().after(0.1, this, [manager] {
            if (manager)
                manager->editBlockDidChangeStructure();
        });
    }
    // Every change registers its way back, a redo included: undo and redo alternate for as long
    // as the user likes.
    if (platform::UndoManager* undo = undoManager()) {
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
    // No ratio of their own, and photos uncropped.
    QList<RatioAndCrop> reverted;
    for (const PLRBlock* block : targets) {
        RatioAndCrop state{QString::fromStdString(block->id()), 0.0f, std::nullopt};
        if (isKind(block, plr::kBlockKindImage))
            state.crop = QByteArray();
        reverted.append(state);
    }
    setRatiosAndCrops(reverted);
}

void PLRPropertyViewController::setRatiosAndCrops(const QList<RatioAndCrop>& states)
{
    if (!m_layoutManager)
        return;
    QList<RatioAndCrop> before;
    QList<PLRBlock*> images;
    for (const RatioAndCrop& state : states) {
        PLRBlock* block = blockWithId(state.blockId);
        if (!block)
            continue;
        RatioAndCrop kept{state.blockId, block->aspect_ratio(), std::nullopt};
        block->set_aspect_ratio(state.ratio);
        if (isKind(block, plr::kBlockKindImage)) {
            kept.crop = block->image().has_position() ? plr::data(block->image().position()) : QByteArray();
            if (state.crop) {
                bool ok = !state.crop->isEmpty();
                const PLRPosition position =
                    ok ? plr::messageFromData<PLRPosition>(*state.crop, &ok) : PLRPosition();
                plr::setPosition(block->mutable_image(), ok ? &position : nullptr);
            }
            images.append(block);
        }
        before.append(kept);
    }
    if (before.isEmpty())
        return;
    // The canvas shows the ratios and crops, the page the ratio.
    m_layoutManager->announceChange();
    if (!images.isEmpty())
        ensureImageTab(images);
    if (platform::UndoManager* undo = undoManager()) {
        QPointer<PLRPropertyViewController> self(this);
        undo->registerUndo(this, [self, before] {
            if (self)
                self->setRatiosAndCrops(before);
        });
        undo->setActionName(QString::fromLatin1(kChangeAspectRatioActionName));
    }
}

QStringList PLRPropertyViewController::tokenFieldCompletionsForSubstring(PLRTokenField*, const QString& substring, qsizetype)
{
    return PLRFocusKeywordStore::keywordsMatchingPrefix(substring);
}

void PLRPropertyViewController::setImageDescription()
{
    if (!m_layoutManager)
        return;
    PLRPostManager* post = postManager();
    if (!post)
        return;
    const QStringList keywords = m_imageKeywordTokenField->objectValue();
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

void PLRPropertyViewController::showImageLinkPopover()
{
    if (!m_ivc || !m_imageLinkPopoverButton)
        return;
    View* content = m_ivc->view();
    m_ivc->imageClickOnUrlTextField()->setStringValue(m_imageLinkURLTextField->stringValue());
    if (!m_imageLinkPopover) {
        m_imageLinkPopover = new PLRPopover(view());
        m_imageLinkPopover->setObjectName(QStringLiteral("imageLinkPopover"));
        m_imageLinkPopover->setContentView(content);
        // However it closes (a click elsewhere, Escape, Return), the link view's editing ends.
        platform::NotificationCenter::defaultCenter().addObserver(
            this, QLatin1String(kPLRPopoverDidCloseNotification), [this](const platform::Notification& note) {
                if (note.object && note.object == m_imageLinkPopover && m_ivc)
                    m_ivc->viewDidDisappear();
            });
    }
    m_ivc->viewWillAppear();
    m_imageLinkPopover->showRelativeToRect(m_imageLinkPopoverButton->rect(), m_imageLinkPopoverButton);
    if (QLineEdit* editor = m_ivc->imageClickOnUrlTextField()->editor()) {
        editor->setFocus(Qt::PopupFocusReason);
        editor->selectAll();
    }
}

void PLRPropertyViewController::selectedImageLinkUpdated(const QString& url)
{
    if (m_imageLinkPopover)
        m_imageLinkPopover->hide();
    if (!m_layoutManager || !isViewLoaded())
        return;
    m_imageLinkURLTextField->setStringValue(url.trimmed());
    imageLinkTextDidChange();
    showLinkOnClick(!url.trimmed().isEmpty());
}

void PLRPropertyViewController::showLinkOnClick(bool on)
{
    if (m_addLinkOnClickButton->checked() != on)
        m_addLinkOnClickButton->setChecked(on);
    toggleLinkOnClickPanel();
}

void PLRPropertyViewController::toggleLinkOnClickPanel()
{
    const bool shown = m_addLinkOnClickButton->checked();
    m_addLinkOnClickView->setHidden(!shown);
    m_addLinkInspectorView->setDrawLine(!shown);
}

void PLRPropertyViewController::toggleCollageExportPanel()
{
    const bool shown = m_expandImageCollageButton->state();
    m_exportView->setHidden(!shown);
    if (!shown)
        return;
    // The panel opens at the foot of the page: it is scrolled into view once laid out.
    QPointer<QWidget> panel = m_exportView.data();
    platform::dispatchMain([panel] {
        if (!panel || panel->isHidden())
            return;
        for (QWidget* above = panel->parentWidget(); above; above = above->parentWidget())
            if (auto* page = qobject_cast<QScrollArea*>(above)) {
                if (QWidget* content = page->widget(); content && content->layout())
                    content->layout()->activate();
                page->ensureWidgetVisible(panel, 0, 0);
                return;
            }
    });
}
