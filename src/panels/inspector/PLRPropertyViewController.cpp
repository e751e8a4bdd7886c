#include "panels/inspector/PLRPropertyViewController.h"

#include <QLineEdit>

#include "canvas/interaction/PLRLayoutInteraction.h"
#include "layout/base/PLRLayoutManager.h"
#include "layout/base/PLRLayoutTree.h"
#include "layout/section_layout_handlers/PLRStackedSectionSolver.h"
#include "layout/views/PLRLayoutViewProxy.h"
#include "panels/inspector/PLRInspectorPanels.h"
#include "panels/inspector/PLRPropertyPageSupport.h"
#include "platform-ui/Images.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Storyboard.h"
#include "platform/UndoManager.h"
#include "shell/PLRGenericPostViewController.h"
#include "shell/PLRShellNotifications.h"
#include "store/model/PLRAspectRatio.h"
#include "store/session/PLRPostManager.h"

#include <QStackedWidget>
#include <QVBoxLayout>

using namespace platform::ui;
using plr::insp::caption;
using plr::insp::pageContent;
using namespace PLRPropertyPageSupport;

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
    if (const PLRSourceImagePtr source = m_previewSource.lock())
        source->removeDelegate(this);
    if (m_observedDirectory)
        m_observedDirectory->removeDelegate(this);
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
    observeSourceDirectory();
    if (m_evc)
        m_evc->setPostManager(postManager());
}

void PLRPropertyViewController::observeSourceDirectory()
{
    PLRPostManager* post = postManager();
    PLRSourceDirectory* directory = post ? post->sourceDirectory() : nullptr;
    if (directory == m_observedDirectory)
        return;
    if (m_observedDirectory)
        m_observedDirectory->removeDelegate(this);
    m_observedDirectory = directory;
    if (directory)
        directory->addDelegate(this);
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

void PLRPropertyViewController::viewDidLoad()
{
    m_addLinkOnClickView->setHidden(!m_addLinkOnClickButton->checked());
    m_addLinkInspectorView->setDrawLine(m_addLinkOnClickView->isHidden());
    m_exportView->setHidden(!m_expandImageCollageButton->state());

    auto& center = platform::NotificationCenter::defaultCenter();
    center.addObserver(this, QString::fromLatin1(kPLR_BLOCK_WAS_SELECTED), [this](const platform::Notification& note) {
        if (note.userInfo.value(QString::fromLatin1(kPLRShouldFocusKeyWordField)).toBool() && m_imageKeywordTokenField) {
            m_imageKeywordTokenField->setFocus(Qt::OtherFocusReason);
            if (auto* editor = m_imageKeywordTokenField->findChild<QLineEdit*>())
                editor->end(false);
        }
    });
    center.addObserver(this, QString::fromLatin1(kPLR_NOTIFICATION_LAYOUT_DID_CHANGE), [this](const platform::Notification& note) {
        if (m_layoutManager && note.object != m_layoutManager)
            return;
        updateEditButtonsEnabled();
        // A spacer resized on the canvas gets a ratio of its own: the page names it at once.
        if (m_layoutManager && currentSubPage() == BlankPage) {
            QList<PLRBlock*> blanks;
            for (PLRBlock* block : m_layoutManager->currentSelectedBlocks())
                if (isKind(block, plr::kBlockKindBlank))
                    blanks.append(block);
            if (!blanks.isEmpty())
                ensureBlankTab(blanks);
        }
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
            // The page's own margins frame the panel.
            if (QLayout* panelLayout = panelView->layout())
                panelLayout->setContentsMargins(0, 4, 0, 0);
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
    center.addObserver(this, QString::fromLatin1(kPLR_NOTIFICATION_IMAGELINK_DID_CHANGE), [this](const platform::Notification& note) {
        if (note.object == m_ivc)
            selectedImageLinkUpdated(note.userInfo.value(QString::fromLatin1(kPLRImageLinkURLKey)).toString());
    });
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
