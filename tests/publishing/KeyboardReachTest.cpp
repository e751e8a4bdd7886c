// The keyboard's reach over the inspector and the export screens: every control of each
// inspector page, of the export panel and of the export dialog is reached by Tab, and each has
// the room for its whole focus ring where it stands.

#include "ExportTestSupport.h"

#include "controls/PLRBoxButton.h"
#include "controls/PLRColorWell.h"
#include "controls/PLRTokenField.h"
#include "panels/inspector/PLRInspectorViewController.h"
#include "panels/inspector/PLRInspectorWidgets.h"
#include "panels/inspector/PLRPropertyViewController.h"
#include "publishing/export/PLRExportModalViewController.h"
#include "publishing/export/PLRExportViewController.h"
#include "publishing/export/PLRModalExportView.h"
#include "publishing/publish/PLRPublishButton.h"
#include "shell/modal/PLRModalManager.h"
#include "shell/modal/PLRModalViewController.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>

using namespace export_test;

namespace {

void settle()
{
    for (int round = 0; round < 4; ++round)
        testing_support::drainEvents();
}

std::string listed(const QStringList& problems)
{
    return problems.join(QStringLiteral("\n")).toStdString();
}

QString describe(QWidget* widget)
{
    QString name = widget->objectName();
    if (auto* button = qobject_cast<platform::ui::Button*>(widget); button && name.isEmpty())
        name = button->title();
    if (name.isEmpty() && widget->parentWidget())
        name = QStringLiteral("in ") + widget->parentWidget()->objectName();
    return QStringLiteral("%1 \"%2\"").arg(QString::fromLatin1(widget->metaObject()->className()), name);
}

// What a user works with on the part: buttons, pop-ups, switches, wells, steppers, sliders,
// fields and editors that are shown and enabled.
QList<QWidget*> controlsOf(QWidget* screen, QWidget* part)
{
    QList<QWidget*> found;
    for (QWidget* widget : part->findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(screen) || !widget->isEnabled())
            continue;
        if (auto* tile = qobject_cast<PLRBoxButton*>(widget); tile && !tile->isEnabled())
            continue;   // (a tile keeps its own enabled state)
        if (qobject_cast<platform::ui::TextField*>(widget))
            continue;   // an editable field is reached through its editor
        if (qobject_cast<platform::ui::ImageView*>(widget))
            continue;
        const bool interactive = qobject_cast<platform::ui::Control*>(widget) || qobject_cast<PLRPublishButton*>(widget)
            || qobject_cast<QAbstractButton*>(widget) || qobject_cast<QLineEdit*>(widget)
            || qobject_cast<QAbstractSlider*>(widget) || qobject_cast<QPlainTextEdit*>(widget)
            || qobject_cast<PLRTokenField*>(widget) || qobject_cast<PLRBoxButton*>(widget);
        // (A control inside another control is a part of it; a field's editor is the field.)
        bool inner = false;
        for (QWidget* above = widget->parentWidget(); above && above != part; above = above->parentWidget()) {
            if (qobject_cast<platform::ui::TextField*>(above) && above == widget->parentWidget() && qobject_cast<QLineEdit*>(widget))
                continue;
            if (qobject_cast<platform::ui::Control*>(above) || qobject_cast<PLRPublishButton*>(above) || qobject_cast<PLRTokenField*>(above))
                inner = true;
        }
        if (interactive && !inner)
            found << widget;
    }
    return found;
}

// The controls of the part that Tab, pressed over and over from the first widget of the window,
// never reaches.
QStringList unreachedByTab(QWidget* screen, QWidget* part)
{
    const QList<QWidget*> controls = controlsOf(screen, part);
    QSet<QWidget*> reached;
    screen->window()->activateWindow();
    screen->setFocus(Qt::OtherFocusReason);
    const int presses = 4 * int(screen->window()->findChildren<QWidget*>().size());
    for (int i = 0; i < presses; ++i) {
        QWidget* focused = QApplication::focusWidget();
        if (!focused)
            focused = screen;
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));
        QApplication::sendEvent(focused, &tab);
        if (QWidget* now = QApplication::focusWidget())
            reached << now;
    }
    // (A control that hands the keyboard to a part of its own, a token field's editor, is reached
    // when that part is.)
    const auto isReached = [&reached](QWidget* control) {
        for (QWidget* focused : reached)
            if (focused == control || control->isAncestorOf(focused))
                return true;
        return false;
    };
    QStringList missing;
    for (QWidget* control : controls)
        if (!isReached(control))
            missing << describe(control) + QStringLiteral(" is not reached by Tab");
    // And Tab stops nowhere on the part that is no control (where it would show nothing).
    for (QWidget* focused : std::as_const(reached)) {
        if (!part->isAncestorOf(focused))
            continue;
        bool ofControl = false;
        for (QWidget* control : controls)
            ofControl = ofControl || focused == control || control->isAncestorOf(focused);
        if (!ofControl)
            missing << describe(focused) + QStringLiteral(" takes Tab but is no control");
    }
    return missing;
}

} // namespace

class KeyboardReach : public ExportFixture {
protected:
    std::unique_ptr<PLRInspectorViewController> openInspector(PLRPostManager* manager, int height)
    {
        auto inspector = std::make_unique<PLRInspectorViewController>();
        inspector->view()->resize(250, height);
        inspector->view()->show();
        inspector->setPostManager(manager);
        settle();
        return inspector;
    }
    // Tab reaches every control of the part, and each has its room and its whole ring.
    static void expectReachable(QWidget* screen, QWidget* part, const char* where)
    {
        SCOPED_TRACE(where);
        settle();
        EXPECT_FALSE(controlsOf(screen, part).isEmpty());
        const QStringList unreached = unreachedByTab(screen, part);
        EXPECT_TRUE(unreached.isEmpty()) << listed(unreached);
        const QStringList cramped = crampedControls(screen, part);
        EXPECT_TRUE(cramped.isEmpty()) << listed(cramped);
    }
};

TEST_F(KeyboardReach, EveryInspectorPageAndTheExportPanelAreWhollyReachedByTab)
{
    makePhoto(m_folder, "a.jpg", QSize(300, 200), Qt::red);
    makePhoto(m_folder, "b.jpg", QSize(200, 300), Qt::blue);
    PLRPostManager* manager = openPost("Keys", 2);
    ASSERT_NE(manager, nullptr);
    PLRLayoutManager* layout = manager->layoutManager();
    const QList<PLRBlock*> photos = layout->createAndAddBlocksForImages({photo(manager, "a.jpg"), photo(manager, "b.jpg")});
    PLRSection* section = &layout->representedLayout()->mutable_sections()->at(0);
    PLRBlock* text = layout->addBlock(PLRLayoutManager::newBlock_Text(), nullptr, section);
    PLRBlock* blank = layout->addBlock(PLRLayoutManager::newBlock_Blank(), nullptr, section);
    PLRBlock* download = layout->addBlock(PLRLayoutManager::newBlock_DownloadButton(), nullptr, section);

    // The inspector in the window a first start opens, and in a large one.
    for (const int height : {740, 960}) {
        SCOPED_TRACE(height);
        auto inspector = openInspector(manager, height);
        QWidget* screen = inspector->view();
        inspector->selectDocumentTab();
        expectReachable(screen, screen, "document page");
        inspector->selectSettingsTab();
        expectReachable(screen, screen, "settings page");
        for (const auto& [blocks, where] : QList<QPair<QList<PLRBlock*>, const char*>>{
                 {{photos.front()}, "photo page"}, {photos, "photos page"}, {{text}, "text page"},
                 {{blank}, "spacer page"}, {{download}, "download button page"}}) {
            layout->selectBlocks(blocks);
            settle();
            expectReachable(screen, screen, where);
        }
        layout->selectBlocks({});
        settle();
        inspector->selectBottomArea(PLRInspectorViewController::ExportArea);
        settle();
        auto* panel = qobject_cast<PLRExportViewController*>(inspector->exportViewController());
        ASSERT_NE(panel, nullptr);
        expectReachable(screen, panel->view(), "export panel");
        EXPECT_TRUE(controlsOf(screen, panel->view()).contains(panel->backgroundColourWell));
        EXPECT_TRUE(controlsOf(screen, panel->view()).contains(panel->exportButton));
    }
}

// Tab runs down the inspector in the order it shows: the page tabs, the page's controls, then
// the area tabs and the area's panel.
TEST_F(KeyboardReach, TabGoesDownTheInspectorAsItShows)
{
    makePhoto(m_folder, "a.jpg", QSize(300, 200), Qt::red);
    PLRPostManager* manager = openPost("Order", 1);
    ASSERT_NE(manager, nullptr);
    auto inspector = openInspector(manager, 740);
    QWidget* screen = inspector->view();
    inspector->selectDocumentTab();
    inspector->selectBottomArea(PLRInspectorViewController::ExportArea);
    settle();
    auto* panel = qobject_cast<PLRExportViewController*>(inspector->exportViewController());
    ASSERT_NE(panel, nullptr);
    QWidget* padding = screen->findChild<platform::ui::TextField*>(QStringLiteral("paddingTextField"))->editor();
    const QList<QWidget*> expected{screen->findChild<QWidget*>(QStringLiteral("headerDocumentButton")),
                                   screen->findChild<QWidget*>(QStringLiteral("headerSettingsButton")), padding,
                                   inspector->bottomTab(PLRInspectorViewController::PublishArea),
                                   inspector->bottomTab(PLRInspectorViewController::ExportArea), panel->exportButton};
    screen->activateWindow();
    expected.front()->setFocus(Qt::TabFocusReason);
    QList<QWidget*> met;
    for (int i = 0; i < 60 && met.size() < expected.size(); ++i) {
        QWidget* focused = QApplication::focusWidget();
        if (expected.contains(focused) && !met.contains(focused))
            met << focused;
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));
        QApplication::sendEvent(focused, &tab);
    }
    QStringList order;
    for (QWidget* widget : met)
        order << describe(widget);
    EXPECT_EQ(met, expected) << order.join(QStringLiteral(", ")).toStdString();
}

TEST_F(KeyboardReach, TheExportDialogIsWhollyReachedByTab)
{
    makePhoto(m_folder, "a.jpg", QSize(300, 200), Qt::red);
    PLRPostManager* manager = openPost("Dialog", 1);
    ASSERT_NE(manager, nullptr);
    manager->layoutManager()->createAndAddBlocksForImages({photo(manager, "a.jpg")});
    bool ran = false;
    QTimer::singleShot(0, [&] {
        PLRModalViewController* modal = PLRModalManager::currentModalViewController();
        auto* page = modal ? qobject_cast<PLRModalExportPanelViewController*>(modal->currentView()->viewController()) : nullptr;
        ran = page != nullptr;
        if (page) {
            page->dialog()->setPostManager(manager);
            modal->view()->show();
            settle();
            PLRExportModalViewController* dialog = page->dialog();
            expectReachable(modal->view(), dialog->view(), "export dialog");
            EXPECT_TRUE(controlsOf(modal->view(), dialog->view()).contains(dialog->exportButton));
            EXPECT_TRUE(controlsOf(modal->view(), dialog->view()).contains(dialog->backgroundColourWell));
        }
        if (PLRModalViewController* still = PLRModalManager::currentModalViewController())
            still->dismissModalWithSuccess(false);
    });
    testing_support::expectModalSessions();
    PLRModalManager::presentModalWindowWithViews({PLRModalExportView::kPageName}, {}, true, 0, [](qint64) {});
    EXPECT_TRUE(ran);
}

// What Tab reaches, the keys work: Space or Return on a tab shows its page or area, on a colour
// well opens the colour panel, on the export button exports; the arrows choose a segment.
TEST_F(KeyboardReach, TheKeysDoWhatAClickDoes)
{
    makePhoto(m_folder, "a.jpg", QSize(300, 200), Qt::red);
    PLRPostManager* manager = openPost("Keys", 1);
    ASSERT_NE(manager, nullptr);
    PLRLayoutManager* layout = manager->layoutManager();
    layout->createAndAddBlocksForImages({photo(manager, "a.jpg")});
    PLRBlock* text = layout->addBlock(PLRLayoutManager::newBlock_Text(), nullptr,
                                      &layout->representedLayout()->mutable_sections()->at(0));
    auto inspector = openInspector(manager, 740);
    const auto press = [](QWidget* control, int key) {
        control->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(control->hasFocus()) << describe(control).toStdString();
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, key == Qt::Key_Space ? QStringLiteral(" ") : QString());
        QApplication::sendEvent(control, &event);
        settle();
    };

    press(inspector->view()->findChild<QWidget*>(QStringLiteral("headerSettingsButton")), Qt::Key_Space);
    EXPECT_EQ(inspector->selectedPage(), PLRInspectorViewController::SettingsPage);
    press(inspector->view()->findChild<QWidget*>(QStringLiteral("headerDocumentButton")), Qt::Key_Return);
    EXPECT_EQ(inspector->selectedPage(), PLRInspectorViewController::DocumentPage);

    layout->selectBlocks({text});
    settle();
    plr::insp::SegmentedControl* alignment = inspector->propertyViewController()->textAlignmentSegmentControl();
    const int before = alignment->selectedSegment();
    press(alignment, Qt::Key_Right);
    EXPECT_EQ(alignment->selectedSegment(), std::max(0, before + 1));
    press(alignment, Qt::Key_Left);
    EXPECT_EQ(alignment->selectedSegment(), std::max(0, before));
    layout->selectBlocks({});
    settle();

    press(inspector->bottomTab(PLRInspectorViewController::ExportArea), Qt::Key_Space);
    EXPECT_EQ(inspector->selectedBottomArea(), PLRInspectorViewController::ExportArea);
    auto* panel = qobject_cast<PLRExportViewController*>(inspector->exportViewController());
    ASSERT_NE(panel, nullptr);
    QList<PLRColorWell*> opened;
    PLRColorWell::setPanelOpener([&opened](PLRColorWell* well) { opened << well; });
    press(panel->backgroundColourWell, Qt::Key_Space);
    EXPECT_EQ(opened, QList<PLRColorWell*>{panel->backgroundColourWell});

    const QString folder = testing_support::testHome() + QStringLiteral("/out");
    QDir().mkpath(folder);
    testing_support::scriptedPanels().enqueue(folder);
    panel->setExportLocationAction();
    bool finished = false;
    QObject::connect(panel, &PLRExportViewController::layoutExportFinished, [&](bool) { finished = true; });
    press(panel->exportButton, Qt::Key_Return);
    ASSERT_TRUE(testing_support::waitUntil([&] { return finished; }, 20000));
    EXPECT_FALSE(QDir(folder).entryList(QDir::Files).isEmpty());
}
