#include "panels/inspector/PLRInspectorViewController.h"

#include "layout/base/PLRLayoutManager.h"
#include "panels/inspector/PLRDocumentViewController.h"
#include "panels/inspector/PLRInspectorPanels.h"
#include "panels/inspector/PLRInspectorWidgets.h"
#include "panels/inspector/PLRPropertyViewController.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Storyboard.h"
#include "platform-ui/Fonts.h"
#include "store/session/PLRPostManager.h"
#include "shell/PLRShellNotifications.h"

#include <QHBoxLayout>
#include <QStackedWidget>

#include <cmath>
#include <QVBoxLayout>

using namespace platform::ui;

namespace {

// A header button: its title strong while active, dim while not.
class HeaderButton : public Control {
public:
    HeaderButton(const QString& title, QWidget* parent) : Control(parent), m_title(title)
    {
        setFixedSize(72, 30);
        // Tab reaches the page and area tabs; Space or Return chooses one.
        takeTabAndActivationKeys();
    }
    bool isActive() const { return m_active; }
    void setActive(bool active) { m_active = active; update(); }
    // The ring goes round the title, inside the tab (the tabs sit close to each other and to
    // their underlines).
    QRectF focusRingMaskBounds() const override
    {
        const double inset = std::ceil(View::kFocusRingWidth) + 1.0;
        return bounds().adjusted(inset, inset, -inset, -inset);
    }
    void mouseDown(const MouseEvent&) override {}
    void mouseUp(const MouseEvent& event) override
    {
        if (bounds().contains(event.locationIn(this)))
            sendAction();
    }
    void drawRect(GraphicsContext& context, const QRectF&) override
    {
        ParagraphStyle centred;
        centred.alignment = TextAlignment::Center;
        const Color colour = namedColor(m_active ? QStringLiteral("plrTextColor") : QStringLiteral("plrTextColorInactive"));
        const AttributedString title(m_title, {{kFontAttributeName, systemFont(12, m_active ? FontWeight::Medium : FontWeight::Regular)},
                                               {kForegroundColorAttributeName, QVariant::fromValue(colour)},
                                               {kParagraphStyleAttributeName, QVariant::fromValue(centred)}});
        context.drawAttributedString(title, QRectF(0, (height() - 16) / 2.0, width(), 16));
    }
private:
    QString m_title;
    bool m_active = false;
};

QWidget* underline(QWidget* parent)
{
    auto* line = new Box(parent);
    line->setFillColor(namedColor(QStringLiteral("plrTextColor")));
    line->setBorderWidth(0);
    line->setFixedHeight(2);
    return line;
}

} // namespace

PLRInspectorViewController::PLRInspectorViewController(QObject* parent) : PLRGenericPostViewController(parent) {}

PLRInspectorViewController::~PLRInspectorViewController()
{
    platform::NotificationCenter::defaultCenter().removeObserver(this);
    if (m_joinedManager)
        m_joinedManager->removeInteractionProxy(this);
    // The pages' views go with the pages, before the inspector's view.
    delete m_propertyViewController;
    delete m_documentViewController;
    delete m_publishViewController;
    delete m_exportViewController;
}

void PLRInspectorViewController::registerScene()
{
    platform::Storyboard::registerScene(QString::fromLatin1(kPLRMainStoryboard), QString::fromLatin1(kPLRInspectorSceneIdentifier),
                                        [] { return new PLRInspectorViewController; });
}

PLRGenericPostViewController* PLRInspectorViewController::panelFromScenes(const char* identifier)
{
    const QString storyboard = QString::fromLatin1(kPLRMainStoryboard);
    if (!platform::Storyboard::hasScene(storyboard, QLatin1String(identifier)))
        return nullptr;
    QObject* object = platform::Storyboard::instantiate(storyboard, QLatin1String(identifier));
    if (auto* panel = qobject_cast<PLRGenericPostViewController*>(object)) {
        panel->setParent(this);
        return panel;
    }
    PLR_LOG_ERROR(QStringLiteral("The scene \"%1\" is not a post panel").arg(QLatin1String(identifier)));
    delete object;
    return nullptr;
}

View* PLRInspectorViewController::loadView()
{
    auto* root = new View;
    root->setIdentifier(QString::fromLatin1(kPLRInspectorSceneIdentifier));
    auto* outer = new QVBoxLayout(root);
    outer->setContentsMargins(0, 0, 0, 0);
    // Everything shows once the inspector has its post (setPostManager).
    m_contents = new QWidget(root);
    m_contents->setObjectName(QStringLiteral("inspectorContents"));
    m_contents->setHidden(true);
    outer->addWidget(m_contents);
    auto* column = new QVBoxLayout(m_contents);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // Header.
    auto* header = new QWidget(root);
    auto* headerColumns = new QHBoxLayout(header);
    headerColumns->setContentsMargins(14, 4, 14, 0);
    headerColumns->setSpacing(16);
    auto makeHeader = [&](const QString& title, QPointer<Control>& button, QPointer<QWidget>& line, std::function<void()> action) {
        auto* holder = new QWidget(header);
        auto* stack = new QVBoxLayout(holder);
        stack->setContentsMargins(0, 0, 0, 0);
        stack->setSpacing(0);
        auto* headerButton = new HeaderButton(title, holder);
        headerButton->setTarget(this);
        headerButton->setAction([action = std::move(action)](Control*) { action(); });
        button = headerButton;
        line = underline(holder);
        stack->addWidget(headerButton);
        stack->addWidget(line);
        headerColumns->addWidget(holder);
    };
    makeHeader(QStringLiteral("Document"), m_headerDocumentButton, m_blogSettingsUnderline, [this] { selectDocumentTab(); });
    makeHeader(QStringLiteral("Settings"), m_headerSettingsButton, m_settingsUnderline, [this] { selectSettingsTab(); });
    m_headerDocumentButton->setIdentifier(QStringLiteral("headerDocumentButton"));
    m_headerSettingsButton->setIdentifier(QStringLiteral("headerSettingsButton"));
    headerColumns->addStretch(1);
    column->addWidget(header);
    column->addWidget(plr::insp::separator(root));

    m_tabView = new QStackedWidget(root);
    column->addWidget(m_tabView, 1);

    // The publish and export panels' area.
    auto* bottom = new QWidget(root);
    bottom->setObjectName(QStringLiteral("bottomTabView"));
    auto* bottomColumn = new QVBoxLayout(bottom);
    bottomColumn->setContentsMargins(0, 0, 0, 0);
    bottomColumn->setSpacing(0);
    // Its tabs, Publish and Export, shown when both areas have a panel.
    m_bottomTabs = new QWidget(bottom);
    m_bottomTabs->setObjectName(QStringLiteral("bottomTabs"));
    auto* tabColumns = new QHBoxLayout(m_bottomTabs);
    tabColumns->setContentsMargins(14, 4, 14, 0);
    tabColumns->setSpacing(16);
    auto makeTab = [&](const QString& title, BottomArea area) {
        auto* holder = new QWidget(m_bottomTabs);
        auto* stack = new QVBoxLayout(holder);
        stack->setContentsMargins(0, 0, 0, 0);
        stack->setSpacing(0);
        auto* tab = new HeaderButton(title, holder);
        tab->setIdentifier(area == PublishArea ? QStringLiteral("bottomPublishTab") : QStringLiteral("bottomExportTab"));
        tab->setTarget(this);
        tab->setAction([this, area](Control*) { selectBottomArea(area); });
        QWidget* line = underline(holder);
        stack->addWidget(tab);
        stack->addWidget(line);
        tabColumns->addWidget(holder);
        m_bottomTabButtons[area] = tab;
        m_bottomTabUnderlines[area] = line;
    };
    makeTab(QStringLiteral("Publish"), PublishArea);
    makeTab(QStringLiteral("Export"), ExportArea);
    tabColumns->addStretch(1);
    m_bottomTabs->setHidden(true);
    bottomColumn->addWidget(m_bottomTabs);
    m_bottomPages = new QStackedWidget(bottom);
    bottomColumn->addWidget(m_bottomPages);
    m_bottomTabView = bottom;
    column->addWidget(bottom);
    return root;
}

void PLRInspectorViewController::viewDidLoad()
{
    // The pages, in the order that links the Document page and the publish panel.
    m_propertyViewController = new PLRPropertyViewController(this);
    m_documentViewController = new PLRDocumentViewController(this);
    m_tabView->addWidget(m_documentViewController->view());
    m_tabView->addWidget(m_documentViewController->settingsView());
    auto* seoPage = new QWidget;
    seoPage->setObjectName(QStringLiteral("seoTabViewItem"));
    m_tabView->addWidget(seoPage);
    m_tabView->addWidget(m_propertyViewController->view());
    // Tab runs down the inspector as it shows: the page tabs, the page, then the area tabs and
    // the area's panel (the pages came into the focus chain after the area tabs).
    QWidget* lastOfPages = nullptr;
    for (QWidget* widget = view()->nextInFocusChain(); widget && widget != view(); widget = widget->nextInFocusChain())
        if (m_tabView->isAncestorOf(widget) && widget->focusPolicy() != Qt::NoFocus)
            lastOfPages = widget;
    if (lastOfPages && m_bottomTabButtons[PublishArea] && m_bottomTabButtons[ExportArea]) {
        QWidget::setTabOrder(lastOfPages, m_bottomTabButtons[PublishArea]);
        QWidget::setTabOrder(m_bottomTabButtons[PublishArea], m_bottomTabButtons[ExportArea]);
    }

    // The panels that publishing registers; an area without one stays empty.
    if (PLRGenericPostViewController* publish = panelFromScenes(kPLRInspectorPublishPanelIdentifier)) {
        if (auto* panel = dynamic_cast<PLRInspectorPublishPanel*>(publish)) {
            m_publishViewController = publish;
            m_publishPanel = panel;
            m_documentViewController->setPublishViewController(panel, publish);
            panel->setDocumentViewController(m_documentViewController);
            m_bottomPages->addWidget(publish->view());
        } else {
            PLR_LOG_ERROR(QStringLiteral("The publish panel does not answer the inspector's questions"));
            delete publish;
        }
    }
    if (PLRGenericPostViewController* exporter = panelFromScenes(kPLRInspectorExportPanelIdentifier)) {
        if (auto* panel = dynamic_cast<PLRInspectorExportPanel*>(exporter)) {
            m_exportViewController = exporter;
            panel->setExportType(1);
            m_bottomPages->addWidget(exporter->view());
        } else {
            PLR_LOG_ERROR(QStringLiteral("The export panel does not answer the inspector's questions"));
            delete exporter;
        }
    }
    if (m_bottomPages->count() == 0)
        m_bottomPages->setFixedHeight(0);
    // The area is as tall as the panel it shows, not as the tallest of its panels.
    const auto fitShownPanel = [pages = m_bottomPages] {
        for (int i = 0; i < pages->count(); ++i) {
            const QSizePolicy::Policy policy = i == pages->currentIndex() ? QSizePolicy::Preferred : QSizePolicy::Ignored;
            pages->widget(i)->setSizePolicy(policy, policy);
        }
        pages->updateGeometry();
    };
    fitShownPanel();
    connect(m_bottomPages, &QStackedWidget::currentChanged, this, fitShownPanel);
    // With both panels the tabs choose between them; the publish area comes first.
    m_bottomTabs->setHidden(!(m_publishViewController && m_exportViewController));
    selectBottomArea(m_publishViewController ? PublishArea : ExportArea);

    selectDocumentTab();
    platform::NotificationCenter::defaultCenter().addObserver(
        this, QString::fromLatin1(kPLRToggleInspectorBottomPublishAreaVisibility), [this](const platform::Notification& note) {
            toggleInspectorBottomPublishAreaVisibility(
                note.userInfo.value(QString::fromLatin1(kPLRToggleInspectorBottomPublishAreaHiddenKey)).toBool());
        });
}

void PLRInspectorViewController::setPostManager(PLRPostManager* manager)
{
    PLRGenericPostViewController::setPostManager(manager);
    view();
    PLRLayoutManager* layoutManager = manager ? manager->layoutManager() : nullptr;
    if (m_publishViewController)
        m_publishViewController->setPostManager(manager);
    // The export panel follows the post too (it would otherwise never learn of it).
    if (m_exportViewController)
        m_exportViewController->setPostManager(manager);
    m_documentViewController->setLayoutManager(layoutManager);
    m_propertyViewController->setLayoutManager(layoutManager);
    if (m_joinedManager && m_joinedManager != layoutManager)
        m_joinedManager->removeInteractionProxy(this);
    if (layoutManager && m_joinedManager != layoutManager)
        layoutManager->addInteractionProxy(this);
    m_joinedManager = layoutManager;
    // Filled from the post before it shows.
    m_contents->setHidden(!manager);
}

bool PLRInspectorViewController::areContentsShown() const
{
    return m_contents && !m_contents->isHidden();
}

// ---------------------------------------------------------------- pages

void PLRInspectorViewController::setBottomHidden(bool hidden)
{
    m_bottomHidden = hidden;
    if (m_bottomTabView)
        m_bottomTabView->setHidden(hidden);
}

void PLRInspectorViewController::selectDocumentTab()
{
    view();
    moveHeaderLabelToIndex(0);
    m_tabView->setCurrentIndex(DocumentPage);
    m_documentViewController->viewWillAppear();
    setBottomHidden(false);
}

void PLRInspectorViewController::selectSettingsTab()
{
    view();
    moveHeaderLabelToIndex(1);
    m_tabView->setCurrentIndex(SettingsPage);
    m_documentViewController->viewWillAppear();
    if (m_publishPanel && m_publishViewController && m_publishPanel->isShowingSpecialOverlayView())
        setBottomHidden(true);
}

void PLRInspectorViewController::selectBottomArea(BottomArea area)
{
    view();
    QWidget* panelView = nullptr;
    if (area == PublishArea && m_publishViewController)
        panelView = m_publishViewController->view();
    else if (area == ExportArea && m_exportViewController)
        panelView = m_exportViewController->view();
    if (!panelView)
        return;
    m_bottomPages->setCurrentWidget(panelView);
    for (BottomArea each : {PublishArea, ExportArea}) {
        static_cast<HeaderButton*>(m_bottomTabButtons[each].data())->setActive(each == area);
        m_bottomTabUnderlines[each]->setVisible(each == area);
    }
}

PLRInspectorViewController::BottomArea PLRInspectorViewController::selectedBottomArea() const
{
    if (m_bottomPages && m_exportViewController && m_bottomPages->currentWidget() == m_exportViewController->view())
        return ExportArea;
    return PublishArea;
}

bool PLRInspectorViewController::areBottomTabsShown() const { return m_bottomTabs && !m_bottomTabs->isHidden(); }

platform::ui::Control* PLRInspectorViewController::bottomTab(BottomArea area) const { return m_bottomTabButtons[area]; }

void PLRInspectorViewController::toggleBottomSectionVisible(bool visible)
{
    setBottomHidden(!visible);
}

void PLRInspectorViewController::toggleInspectorBottomPublishAreaVisibility(bool hidden)
{
    const Page page = selectedPage();
    if (page == DocumentPage || page == PropertyPage)
        return;
    setBottomHidden(hidden);
}

void PLRInspectorViewController::moveHeaderLabelToIndex(qint64 index)
{
    m_blogSettingsUnderline->setVisible(false);
    m_settingsUnderline->setVisible(false);
    auto* document = static_cast<HeaderButton*>(m_headerDocumentButton.data());
    auto* settings = static_cast<HeaderButton*>(m_headerSettingsButton.data());
    if (index == 1) {
        settings->setActive(true);
        document->setActive(false);
        m_settingsUnderline->setVisible(true);
    } else if (index == 0) {
        document->setActive(true);
        settings->setActive(false);
        m_blogSettingsUnderline->setVisible(true);
    }
}

PLRInspectorViewController::Page PLRInspectorViewController::selectedPage() const
{
    return m_tabView ? Page(m_tabView->currentIndex()) : DocumentPage;
}

bool PLRInspectorViewController::isBottomAreaHidden() const { return m_bottomHidden; }
bool PLRInspectorViewController::isDocumentButtonActive() const
{
    return m_headerDocumentButton && static_cast<HeaderButton*>(m_headerDocumentButton.data())->isActive();
}
bool PLRInspectorViewController::isSettingsButtonActive() const
{
    return m_headerSettingsButton && static_cast<HeaderButton*>(m_headerSettingsButton.data())->isActive();
}
bool PLRInspectorViewController::isDocumentUnderlineShown() const { return m_blogSettingsUnderline && !m_blogSettingsUnderline->isHidden(); }
bool PLRInspectorViewController::isSettingsUnderlineShown() const { return m_settingsUnderline && !m_settingsUnderline->isHidden(); }

// ---------------------------------------------------------------- selection

void PLRInspectorViewController::followSelection(const QList<PLRBlock*>& blocks)
{
    view();
    if (selectedPage() == SettingsPage && blocks.isEmpty() && !m_blocksWereSelected)
        return;
    if (!blocks.isEmpty()) {
        moveHeaderLabelToIndex(0);
        m_tabView->setCurrentIndex(PropertyPage);
        setBottomHidden(false);
    } else {
        selectDocumentTab();
    }
    m_blocksWereSelected = !blocks.isEmpty();
}

void PLRInspectorViewController::layoutManagerDidSelectBlocks(PLRLayoutManager*, const QList<PLRBlock*>& blocks)
{
    followSelection(blocks);
}

void PLRInspectorViewController::layoutManagerDidSetEditBlock(PLRLayoutManager*, PLRBlock* block)
{
    followSelection(block ? QList<PLRBlock*>{block} : QList<PLRBlock*>{});
}
